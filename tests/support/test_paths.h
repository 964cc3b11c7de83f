#pragma once

// Where tests find the repository's fixtures and tools, and the build's programs.

#include <QString>

namespace testpaths {
inline QString sourceDir() { return QStringLiteral(BOXVISOR_SOURCE_DIR); }
inline QString binaryDir() { return QStringLiteral(BOXVISOR_BINARY_DIR); }
inline QString fixturesDir() { return sourceDir() + QStringLiteral("/tests/fixtures"); }
} // namespace testpaths
