// The zip archives that carry a bug report's attachments.
#pragma once

#include <string>
#include <vector>

namespace reporter::archive {

// Writes a zip archive at archive_path (replacing any file there) holding the files in order,
// each compressed with deflate and named by stored_names[i], or by its file name without
// folder where stored_names is shorter. Names are stored in UTF-8. Files that cannot be read
// or compressed are left out. True when at least one file went in and every write succeeded;
// otherwise false and no archive is left behind. Never raises.
bool CreateZipArchive(const std::string& archive_path, const std::vector<std::string>& files,
                      const std::vector<std::string>& stored_names);

}  // namespace reporter::archive
