#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <optional>
#include <vector>

// The non-empty lines of a ticker file, in file order, as the bytes of the file and where each
// line stands in them. A line is decoded only when it is shown.
class TickerLines {
public:
    TickerLines() = default;
    explicit TickerLines(QByteArray bytes);

    // Adds one line (without its line end) after the others; an empty line is skipped, as a
    // reader of the file skips it.
    void append(QByteArrayView line);

    [[nodiscard]] qsizetype size() const { return static_cast<qsizetype>(m_spans.size()); }
    [[nodiscard]] bool isEmpty() const { return m_spans.empty(); }

    // Line i (0 for the first non-empty line of the file), without its line end.
    [[nodiscard]] QByteArrayView bytes(qsizetype i) const;
    [[nodiscard]] QString text(qsizetype i) const;

private:
    struct Span {
        qsizetype start;
        qsizetype length;
    };
    QByteArray m_bytes;
    std::vector<Span> m_spans;
};

// The ticker file ticker.dat: one received ticker message per line, oldest first, 8-bit text with
// CR LF line ends; and the archive of the days on which it was cleared.
namespace TickerFile {

// Appends one message as a line and returns the line as stored (its bytes without the line end).
// Nothing when the file cannot be opened or written whole; the file then holds what it held
// before, byte for byte. A symbolic link at the path is first replaced by a file of its own.
[[nodiscard]] std::optional<QByteArray> append(const QString& path, const QString& message);

// Reads the file; no file, or one that cannot be read, gives no lines. Lines end with LF, CR LF
// is read as well; empty lines are skipped.
[[nodiscard]] TickerLines read(const QString& path);

// The name of the archive file of a day: year, month and day without leading zeros, joined by "_",
// without an extension (2024_3_7).
[[nodiscard]] QString archiveFileName(QDate day);

// Appends the whole ticker file to the archive file of the day in the archive folder (made when it
// is missing), then deletes the ticker file. The ticker file is deleted only when its content has
// reached the archive completely and the archive is on disk, so clearing the ticker never loses
// the station's log. An archive that cannot be written whole is cut back to what it held before,
// or removed when it was new. True when no ticker file is left.
bool archiveAndDelete(const QString& tickerPath, const QString& archiveFolder, QDate day);

} // namespace TickerFile
