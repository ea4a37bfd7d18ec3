// The fake Windows: files and directories.
#include "tests/fake/fake_internal.h"

#include <algorithm>

namespace fake {
namespace detail {

const Node& root_node() {
  static const Node node{true, FILE_ATTRIBUTE_DIRECTORY, "", false, true};
  return node;
}

const Node* find_node(const PathName& name) {
  if (name.root) {
    return &root_node();
  }
  auto& files = state().world.files;
  auto found = files.find(name.key);
  return found == files.end() ? nullptr : &found->second.node;
}

bool dir_exists(const PathName& name) {
  const Node* node = find_node(name);
  return node != nullptr && node->directory;
}

// Creates every missing directory down to and including `name`; false when a
// file stands in the way.
bool make_dirs(const PathName& name) {
  auto& files = state().world.files;
  for (size_t count = 1; count <= name.parts.size(); ++count) {
    if (count == 1 && is_drive(name.parts[0])) {
      continue;
    }
    const std::wstring spelled = join(name.parts, count);
    const std::wstring key = lower(spelled);
    auto found = files.find(key);
    if (found == files.end()) {
      files[key] = FileEntry{spelled, Node{true, FILE_ATTRIBUTE_DIRECTORY, "", false, true}};
    } else if (!found->second.node.directory) {
      return false;
    }
  }
  return true;
}

void erase_tree(const std::wstring& key) {
  auto& files = state().world.files;
  files.erase(key);
  const std::wstring prefix = key + L"\\";
  auto at = files.lower_bound(prefix);
  while (at != files.end() && starts_with(at->first, prefix)) {
    at = files.erase(at);
  }
}

DWORD missing_error(const PathName& name) {
  return dir_exists(parent_of(name)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

BOOL fail_with(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

}  // namespace detail

using namespace detail;

void add_dir(const std::wstring& path) {
  if (!make_dirs(path_name(path))) {
    misuse("add_dir: a file stands in the way of " + narrow(path));
  }
}

void add_file(const std::wstring& path, const std::string& content, DWORD attributes) {
  const PathName name = path_name(path);
  if (name.parts.empty() || name.root) {
    misuse("add_file: " + narrow(path) + " cannot be a file");
    return;
  }
  if (!make_dirs(parent_of(name))) {
    misuse("add_file: a file stands in the way of the parent of " + narrow(path));
    return;
  }
  auto& files = state().world.files;
  auto found = files.find(name.key);
  if (found != files.end() && found->second.node.directory) {
    misuse("add_file: a directory is already at " + narrow(path));
    return;
  }
  Node node{false, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), content, false,
            true};
  if (found != files.end()) {
    found->second.node = node;
  } else {
    files[name.key] = FileEntry{name.spelled, node};
  }
}

void set_in_use(const std::wstring& path, bool in_use) {
  auto& files = state().world.files;
  auto found = files.find(path_name(path).key);
  if (found == files.end()) {
    misuse("set_in_use: nothing exists at " + narrow(path));
    return;
  }
  found->second.node.in_use = in_use;
}

void set_startable(const std::wstring& path, bool startable) {
  auto& files = state().world.files;
  auto found = files.find(path_name(path).key);
  if (found == files.end()) {
    misuse("set_startable: nothing exists at " + narrow(path));
    return;
  }
  found->second.node.startable = startable;
}

void remove(const std::wstring& path) { erase_tree(path_name(path).key); }

std::optional<Node> node(const std::wstring& path) {
  const Node* found = find_node(path_name(path));
  if (found == nullptr) {
    return std::nullopt;
  }
  return *found;
}

bool is_dir(const std::wstring& path) { return dir_exists(path_name(path)); }

bool is_file(const std::wstring& path) {
  const Node* found = find_node(path_name(path));
  return found != nullptr && !found->directory;
}

std::vector<std::wstring> tree(const std::wstring& folder) {
  const std::wstring key = path_name(folder).key;
  const std::wstring prefix = key + L"\\";
  std::vector<std::wstring> out;
  for (const auto& entry : state().world.files) {
    if (entry.first == key || starts_with(entry.first, prefix)) {
      out.push_back(entry.second.spelled);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace fake

namespace win {

using namespace fake::detail;

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  CallScope scope("CreateDirectoryW", text_of(path));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (path == nullptr) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const PathName name = path_name(path);
  if (name.parts.empty()) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  if (find_node(name) != nullptr) {
    return fail_with(ERROR_ALREADY_EXISTS);
  }
  if (!dir_exists(parent_of(name))) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  state().world.files[name.key] =
      FileEntry{name.spelled, fake::Node{true, FILE_ATTRIBUTE_DIRECTORY, "", false, true}};
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  CallScope scope("GetFileAttributesW", text_of(path));
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  if (path == nullptr) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  const PathName name = path_name(path);
  const fake::Node* found = find_node(name);
  if (found == nullptr) {
    ::SetLastError(missing_error(name));
    return INVALID_FILE_ATTRIBUTES;
  }
  return found->directory ? (found->attributes | FILE_ATTRIBUTE_DIRECTORY) : found->attributes;
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
  CallScope scope("CopyFileW", text_of(to));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (from == nullptr || to == nullptr) {
    return fail_with(ERROR_INVALID_PARAMETER);
  }
  const PathName source = path_name(from);
  const PathName target = path_name(to);
  const fake::Node* original = find_node(source);
  if (original == nullptr) {
    return fail_with(missing_error(source));
  }
  if (original->directory) {
    return fail_with(ERROR_ACCESS_DENIED);
  }
  if (const fake::Node* existing = find_node(target)) {
    if (fail_if_exists) {
      return fail_with(ERROR_FILE_EXISTS);
    }
    if (existing->directory || (existing->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return fail_with(ERROR_ACCESS_DENIED);
    }
    if (existing->in_use) {
      return fail_with(ERROR_SHARING_VIOLATION);
    }
  }
  if (!dir_exists(parent_of(target))) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const fake::Node copy{false, FILE_ATTRIBUTE_NORMAL, original->content, false,
                        original->startable};
  auto& files = state().world.files;
  auto existing = files.find(target.key);
  if (existing != files.end()) {
    existing->second.node = copy;
  } else {
    files[target.key] = FileEntry{target.spelled, copy};
  }
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  CallScope scope("MoveFileExW", text_of(to) + L" flags=" + number(flags));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (from == nullptr || to == nullptr) {
    return fail_with(ERROR_INVALID_PARAMETER);
  }
  const PathName source = path_name(from);
  const PathName target = path_name(to);
  auto& files = state().world.files;
  auto moving = files.find(source.key);
  if (moving == files.end()) {
    return fail_with(source.root ? ERROR_ACCESS_DENIED : missing_error(source));
  }
  if (moving->second.node.in_use) {
    return fail_with(ERROR_SHARING_VIOLATION);
  }
  const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (const fake::Node* existing = find_node(target)) {
    if (!replace) {
      return fail_with(ERROR_ALREADY_EXISTS);
    }
    if (target.key != source.key &&
        (existing->directory || existing->in_use ||
         (existing->attributes & FILE_ATTRIBUTE_READONLY) != 0)) {
      return fail_with(ERROR_ACCESS_DENIED);
    }
  }
  if (!dir_exists(parent_of(target))) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  if (starts_with(target.key, source.key + L"\\")) {
    return fail_with(ERROR_ACCESS_DENIED);  // a directory into itself
  }
  // A directory moves with everything below it.
  std::vector<std::pair<std::wstring, FileEntry>> moved;
  const std::wstring prefix = source.key + L"\\";
  for (const auto& entry : files) {
    if (entry.first == source.key || starts_with(entry.first, prefix)) {
      const std::wstring rest = entry.second.spelled.substr(source.spelled.size());
      moved.emplace_back(target.key + lower(rest), FileEntry{target.spelled + rest,
                                                             entry.second.node});
    }
  }
  erase_tree(source.key);
  files.erase(target.key);
  for (auto& entry : moved) {
    files[entry.first] = std::move(entry.second);
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  CallScope scope("DeleteFileW", text_of(path));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (path == nullptr) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const PathName name = path_name(path);
  const fake::Node* found = find_node(name);
  if (found == nullptr) {
    return fail_with(missing_error(name));
  }
  if (found->directory || found->in_use || (found->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return fail_with(ERROR_ACCESS_DENIED);
  }
  state().world.files.erase(name.key);
  return TRUE;
}

}  // namespace win
