#pragma once

#include <QString>

// The program-wide file test: whether the path names a file that can be opened for reading; false
// on any failure (no such file, a folder, no read access, an empty or invalid path).
[[nodiscard]] bool FileExists(const QString& path);
