#include "engines/filetime.h"

#include <memory>
#include <vector>

#include "platform/directory.h"

namespace engines {
namespace {

// Depth first, each folder's entries in search order, with a stack of open searches of its
// own: paths of up to 32,767 characters nest thousands of folders deep, more than the
// thread's stack would hold as calls.
void WalkNewer(ResultList& result, uint64_t startTime, std::string folder) {
  struct Level {
    std::unique_ptr<platform::FolderSearch> search;
    size_t folderLength;
    bool linked;  // entered through a link, which left its trail when done
  };
  std::vector<Level> levels;
  platform::LinkTrail links;
  auto enter = [&](bool linked) {
    levels.push_back({std::make_unique<platform::FolderSearch>(
                          folder, platform::CreationTime::ChangeTimeOnWine),
                      folder.size(), linked});
  };
  enter(false);
  platform::FolderEntry entry;
  while (!levels.empty()) {
    folder.resize(levels.back().folderLength);
    if (!levels.back().search->Next(entry)) {
      if (levels.back().linked) links.Leave();
      levels.pop_back();
      continue;
    }
    const bool isFolder = entry.IsFolder();
    if (entry.name.empty() || platform::IsSelfOrParent(entry.name)) continue;
    folder += '\\';
    folder += entry.name;
    if (IsNewer(entry.creationTime, entry.lastWriteTime, startTime))
      result.push_back(ListEntry{folder, {}});
    bool linked = false;
    if (isFolder && links.MayEnter(folder, entry.attributes, linked)) enter(linked);
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
    const std::string folder = WithoutTrailingBackslash(root);  // entries of c:\ read c:\name
    if (!folder.empty()) WalkNewer(result, startTime, folder);
    if (AbortRequested()) return;
  }
}

}  // namespace engines
