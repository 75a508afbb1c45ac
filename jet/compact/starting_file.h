// The first pages of a file a compaction fills: the source's header page (so the copy keeps
// its format, code page, sort order, password and page encoding), an empty free-page map and
// a blank page 2, where MSysObjects's definition goes. Everything else is added through the
// pager, which encodes pages as the header says.
#pragma once

#include <filesystem>

#include "jet/format/bytes.h"

namespace jet::compact {

// Creates `path` (which must not exist) holding three pages. The header is the source's
// `source_page0` with a new creation date: the copy is a database of its own, and the date
// is what tells a journal whose file it belongs to.
void WriteStartingFile(const std::filesystem::path& path, ByteView source_page0);

}  // namespace jet::compact
