#pragma once

#include <QString>

// Paging arithmetic of the command table; `page` counts from 0.
int totalPages(int count, int pageSize);
// "第 %1/%2 页，共 %3 条命令", with page 0 shown as 0 when there are no pages.
QString pageInfoText(int page, int count, int pageSize);
// The half-open range of list positions that `page` shows.
struct PageRange
{
    int start;
    int end;
};
PageRange pageRange(int page, int count, int pageSize);
