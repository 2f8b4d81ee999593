#pragma once

#include <QString>

// The program-wide file test: 1 when the path names a file that can be opened for reading,
// 0 on any failure (no such file, a folder, no read access, an empty or invalid path).
[[nodiscard]] qint16 FileExists(const QString& path);
