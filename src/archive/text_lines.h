#pragma once
// The lines of the archive's two text files, as 8-bit Windows-1251 text with CR LF line ends:
//
// "archive.txt", one line per record of a complete read (appended, never emptied):
//   <session-1 samples before this record> <h>:<m>:<s> <value> <unit caption>
//   e.g. "2 9:5:7 0.12 МЭД, мкЗв/ч" (no leading zeros, no date)
// A session file "сеанс<N>.txt", one line per table row that shows a sample, from the cells:
//   <number> <hh>:<mm>:<ss> <DD>/<MM>/<YY> <value>
//   e.g. "12 14:05:09 21/03/07 0.123" (the fields as the table shows them)
// Values are written as a C++ output stream writes a double by default: six significant digits,
// trailing zeros dropped, exponent form for very small or large magnitudes, always a point.

#include "archive/session_view.h"

#include <QByteArray>
#include <QString>

namespace veltra::archive {

inline const QString archiveFileName = QStringLiteral("archive.txt");
[[nodiscard]] QString sessionFileName(int session); // "сеанс3.txt" in both languages

// 0.123, 12.5, 1234.57, 0, 1e-05.
[[nodiscard]] QString streamNumber(double value);

// unmapped, when given, counts the characters the code page cannot hold (written as '?').
[[nodiscard]] QByteArray archiveLine(const ArchiveRecord& record, int session1Count,
                                     text::Language language, int* unmapped = nullptr);
// The value cell is read back with the user's decimal separator and rounded to single
// precision ("1,500" gives 1.5).
[[nodiscard]] QByteArray sessionFileLine(const SampleRow& row, QChar decimalSeparator,
                                         int* unmapped = nullptr);

} // namespace veltra::archive
