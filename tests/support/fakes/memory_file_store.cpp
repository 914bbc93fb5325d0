#include "support/fakes/memory_file_store.h"

#include <algorithm>
#include <cstring>

MemoryFileStore::MemoryFileStore(std::string cwd) : cwd_(std::move(cwd)) {
  directories_.insert(cwd_);
}

void MemoryFileStore::SetReadOnly(const std::string& directory, bool read_only) {
  if (read_only) {
    read_only_.insert(directory);
  } else {
    read_only_.erase(directory);
  }
}

void MemoryFileStore::PutFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  files_[FullPath(name)] = bytes;
}

bool MemoryFileStore::Exists(const std::string& name) const {
  return files_.count(FullPath(name)) != 0;
}

std::vector<std::uint8_t> MemoryFileStore::Bytes(const std::string& name) const {
  const auto it = files_.find(FullPath(name));
  return it == files_.end() ? std::vector<std::uint8_t>{} : it->second;
}

std::vector<std::string> MemoryFileStore::FilesIn(const std::string& directory) const {
  std::vector<std::string> found;
  for (const auto& entry : files_) {
    if (DirectoryOf(entry.first) == directory) found.push_back(entry.first);
  }
  return found;
}

std::size_t MemoryFileStore::GetCurrentDir(char* buf, std::size_t cap) {
  if (cwd_.size() + 1 > cap) return 0;
  std::memcpy(buf, cwd_.c_str(), cwd_.size() + 1);
  return cwd_.size();
}

bool MemoryFileStore::SetCurrentDir(const char* path) {
  const std::string full = FullPath(path);
  if (directories_.count(full) == 0) return false;
  cwd_ = full;
  return true;
}

FileHandle MemoryFileStore::OpenRead(const char* name) {
  const std::string path = FullPath(name);
  if (files_.count(path) == 0) return kInvalidFile;
  const FileHandle handle = next_handle_++;
  open_[handle] = OpenFile{path, false, 0};
  return handle;
}

FileHandle MemoryFileStore::CreateNew(const char* name, CreateFailure* why) {
  const std::string path = FullPath(name);
  const bool taken = files_.count(path) != 0;
  const FileHandle file = taken ? kInvalidFile : OpenForWriting(path);
  if (file == kInvalidFile && why != nullptr) {
    *why = taken ? CreateFailure::kNameTaken : CreateFailure::kRefused;
  }
  return file;
}

int MemoryFileStore::Read(FileHandle file, std::uint8_t* dst, int count) {
  const auto it = open_.find(file);
  if (it == open_.end() || it->second.writing || count < 0) return -1;
  const std::vector<std::uint8_t>& bytes = files_[it->second.path];
  const std::size_t left = bytes.size() - std::min(bytes.size(), it->second.position);
  const std::size_t n = std::min(left, static_cast<std::size_t>(count));
  std::copy_n(bytes.begin() + static_cast<long>(it->second.position), n, dst);
  it->second.position += n;
  return static_cast<int>(n);
}

int MemoryFileStore::Write(FileHandle file, const std::uint8_t* src, int count) {
  const auto it = open_.find(file);
  if (it == open_.end() || !it->second.writing || count < 0) return -1;
  long n = count;
  if (write_budget_ >= 0) {
    // A full device takes what still fits, then refuses.
    if (write_budget_ == 0) return -1;
    n = std::min(n, write_budget_);
    write_budget_ -= n;
  }
  std::vector<std::uint8_t>& bytes = files_[it->second.path];
  bytes.insert(bytes.end(), src, src + n);
  return static_cast<int>(n);
}

bool MemoryFileStore::Close(FileHandle file) {
  const auto it = open_.find(file);
  if (it == open_.end()) return false;
  const bool flushed = !(it->second.writing && fail_closes_);
  open_.erase(it);
  return flushed;
}

bool MemoryFileStore::Replace(const char* from, const char* to) {
  const std::string source = FullPath(from);
  const std::string target = FullPath(to);
  if (fail_replaces_ || files_.count(source) == 0 || !Writable(source) || !Writable(target)) {
    return false;
  }
  files_[target] = files_[source];
  files_.erase(source);
  return true;
}

bool MemoryFileStore::Remove(const char* name) {
  const std::string path = FullPath(name);
  if (files_.count(path) == 0 || !Writable(path)) return false;
  files_.erase(path);
  return true;
}

std::string MemoryFileStore::FullPath(const std::string& name) const {
  if (!name.empty() && name[0] == '/') return name;
  if (name.empty() || name == ".") return cwd_;
  return cwd_ + "/" + name;
}

std::string MemoryFileStore::DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

bool MemoryFileStore::Writable(const std::string& path) const {
  const std::string directory = DirectoryOf(path);
  return directories_.count(directory) != 0 && read_only_.count(directory) == 0;
}

FileHandle MemoryFileStore::OpenForWriting(const std::string& path) {
  if (!Writable(path)) return kInvalidFile;
  files_[path].clear();
  const FileHandle handle = next_handle_++;
  open_[handle] = OpenFile{path, true, 0};
  return handle;
}
