// The fake Windows: files and directories.
#include "tests/fake/fake_internal.h"

#include <algorithm>

namespace fake {
namespace detail {

Node dir_node() {
  Node node;
  node.directory = true;
  node.attributes = FILE_ATTRIBUTE_DIRECTORY;
  return node;
}

Node file_node(DWORD attributes, const std::string& content) {
  Node node;
  node.attributes = attributes;
  node.content = content;
  return node;
}

const Node& root_node() {
  static const Node node = dir_node();
  return node;
}

bool stream_path(const std::wstring& path, PathName& file, std::wstring& stream) {
  const PathName name = path_name(path);
  if (name.parts.empty() || (name.parts.size() == 1 && is_drive(name.parts[0]))) {
    return false;
  }
  const std::wstring& last = name.parts.back();
  // A drive letter's colon belongs to the first component only.
  const size_t colon = last.find(L':', name.parts.size() == 1 ? 2 : 0);
  if (colon == std::wstring::npos) {
    return false;
  }
  std::wstring rest = lower(last.substr(colon + 1));
  const std::wstring data_type = L":$data";
  if (rest.size() >= data_type.size() &&
      rest.compare(rest.size() - data_type.size(), data_type.size(), data_type) == 0) {
    rest.erase(rest.size() - data_type.size());
  }
  std::vector<std::wstring> parts = name.parts;
  parts.back() = last.substr(0, colon);
  file = path_name(join(parts, parts.size()));
  stream = rest;
  return true;
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
      files[key] = FileEntry{spelled, dir_node()};
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
  const Node node =
      file_node(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), content);
  if (found != files.end()) {
    found->second.node = node;
  } else {
    files[name.key] = FileEntry{name.spelled, node};
  }
}

void add_stream(const std::wstring& path, const std::wstring& name, const std::string& content) {
  auto& files = state().world.files;
  auto found = files.find(path_name(path).key);
  if (found == files.end() || found->second.node.directory) {
    misuse("add_stream: no file exists at " + narrow(path));
    return;
  }
  found->second.node.streams[lower(name)] = content;
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
  state().world.files[name.key] = FileEntry{name.spelled, dir_node()};
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
  PathName name = path_name(path);
  std::wstring stream;
  const bool is_stream = stream_path(path, name, stream);
  const fake::Node* found = find_node(name);
  if (found == nullptr) {
    ::SetLastError(missing_error(name));
    return INVALID_FILE_ATTRIBUTES;
  }
  // A named stream answers with its file's attributes.
  if (is_stream && (found->directory || found->streams.count(stream) == 0)) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return found->directory ? (found->attributes | FILE_ATTRIBUTE_DIRECTORY) : found->attributes;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  CallScope scope("SetFileAttributesW", text_of(path) + L" attributes=" + number(attributes));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (path == nullptr) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const PathName name = path_name(path);
  auto& files = state().world.files;
  auto found = files.find(name.key);
  if (found == files.end()) {
    return fail_with(missing_error(name));
  }
  const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                         FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD stored = attributes & settable;
  fake::Node& node = found->second.node;
  if (node.directory) {
    stored |= FILE_ATTRIBUTE_DIRECTORY;
  } else if (stored == 0) {
    stored = FILE_ATTRIBUTE_NORMAL;  // what a file with no attribute reports
  }
  node.attributes = stored;
  return TRUE;
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
  // The copy takes the original's attributes (read-only included) and its
  // named streams (the download mark included), as on NTFS.
  fake::Node copy = file_node(original->attributes, original->content);
  copy.startable = original->startable;
  copy.streams = original->streams;
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
  PathName name = path_name(path);
  std::wstring stream;
  if (stream_path(path, name, stream)) {
    auto& files = state().world.files;
    auto found = files.find(name.key);
    if (found == files.end()) {
      return fail_with(missing_error(name));
    }
    fake::Node& file = found->second.node;
    // The read-only attribute guards every stream of the file.
    if (file.directory || (file.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return fail_with(ERROR_ACCESS_DENIED);
    }
    if (file.streams.erase(stream) == 0) {
      return fail_with(ERROR_FILE_NOT_FOUND);
    }
    return TRUE;
  }
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
