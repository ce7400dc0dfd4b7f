#pragma once

#include <QDateTime>
#include <QString>

// The file name that the save dialog proposes for output saved at `when`.
QString proposedOutputFileName(const QDateTime &when);

// The text of an edit control's selection with its paragraph and line separators (U+2029,
// U+2028) turned into "\n", as the control's whole plain text has them.
QString selectionAsPlainText(const QString &selectedText);

// Writes `text` as UTF-8 without a byte-order mark, byte for byte (no line-end translation), so
// that `path` holds either the whole new text or, on failure, its previous content. Returns an
// empty string on success, otherwise the error text.
QString writeTextFile(const QString &path, const QString &text);
