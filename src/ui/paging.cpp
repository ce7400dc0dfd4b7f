#include "ui/paging.h"

#include <algorithm>

int totalPages(int count, int pageSize)
{
    return (count + pageSize - 1) / pageSize;
}

QString pageInfoText(int page, int count, int pageSize)
{
    const int pages = totalPages(count, pageSize);
    return QStringLiteral("第 %1/%2 页，共 %3 条命令")
        .arg(pages != 0 ? page + 1 : 0)
        .arg(pages)
        .arg(count);
}

PageRange pageRange(int page, int count, int pageSize)
{
    const int start = pageSize * page;
    return {start, std::min(start + pageSize, count)};
}
