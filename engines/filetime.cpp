#include "engines/filetime.h"

#include "platform/directory.h"

namespace engines {
namespace {

void WalkNewer(ResultList& result, uint64_t startTime, std::string& folder) {
  platform::FolderSearch search(folder, platform::CreationTime::ChangeTimeOnWine);
  platform::FolderEntry entry;
  const size_t folderLength = folder.size();
  while (search.Next(entry)) {
    const bool isFolder = entry.IsFolder();
    if (isFolder && (entry.name.empty() || entry.name[0] == '.')) continue;
    folder += '\\';
    folder += entry.name;
    if (IsNewer(entry.creationTime, entry.lastWriteTime, startTime))
      result.push_back(ListEntry{folder, {}});
    if (isFolder) WalkNewer(result, startTime, folder);
    folder.resize(folderLength);
  }
}

}  // namespace

uint64_t FileTimeValue(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool IsNewer(const FILETIME& creationTime, const FILETIME& lastWriteTime, uint64_t startTime) {
  const uint64_t created = FileTimeValue(creationTime);
  const uint64_t written = FileTimeValue(lastWriteTime);
  return (created != 0 && created > startTime) || (written != 0 && written > startTime);
}

void FindNewerFiles(ResultList& result, uint64_t startTime, const TrackedList& roots,
                    const ProgressCallback& progress) {
  for (const std::string& root : roots.entries) {
    if (progress) progress(root);
    std::string folder = WithoutTrailingBackslash(root);  // entries of c:\ read c:\name
    if (!folder.empty()) WalkNewer(result, startTime, folder);
    if (AbortRequested()) return;
  }
}

}  // namespace engines
