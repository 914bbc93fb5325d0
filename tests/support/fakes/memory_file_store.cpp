#include "support/fakes/memory_file_store.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kNoSpace[] = "No space left on device";
constexpr char kDenied[] = "Permission denied";
constexpr char kNoFile[] = "No such file or directory";
constexpr char kIoError[] = "Input/output error";

}  // namespace

MemoryFileStore::MemoryFileStore(std::string cwd) : cwd_(std::move(cwd)) {
  directories_.insert(cwd_);
}

MemoryFileStore& MemoryFileStore::operator=(MemoryFileStore&& other) noexcept {
  if (this == &other) return *this;
  std::scoped_lock lock(mutex_, other.mutex_);
  cwd_ = std::move(other.cwd_);
  directories_ = std::move(other.directories_);
  read_only_ = std::move(other.read_only_);
  files_ = std::move(other.files_);
  on_device_ = std::move(other.on_device_);
  open_ = std::move(other.open_);
  writes_ = std::move(other.writes_);
  next_handle_ = other.next_handle_;
  write_budget_ = other.write_budget_;
  fail_closes_ = other.fail_closes_;
  fail_replaces_ = other.fail_replaces_;
  failure_ = std::move(other.failure_);
  steps_to_cut_ = other.steps_to_cut_;
  cut_thread_ = other.cut_thread_;
  cut_taken_ = other.cut_taken_;
  at_cut_ = std::move(other.at_cut_);
  return *this;
}

void MemoryFileStore::SetReadOnly(const std::string& directory, bool read_only) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (read_only) {
    read_only_.insert(directory);
  } else {
    read_only_.erase(directory);
  }
}

void MemoryFileStore::PutFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string path = FullPath(name);
  auto node = std::make_shared<Node>(Node{bytes, bytes});
  files_[path] = node;
  on_device_[path] = node;
}

void MemoryFileStore::PowerCut() {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto device = cut_taken_ ? at_cut_ : DeviceNow();
  open_.clear();
  files_.clear();
  on_device_.clear();
  for (const auto& [path, bytes] : device) {
    auto node = std::make_shared<Node>(Node{bytes, bytes});
    files_[path] = node;
    on_device_[path] = node;
  }
  steps_to_cut_ = -1;
  cut_taken_ = false;
}

void MemoryFileStore::CutPowerAfter(int operations) {
  std::lock_guard<std::mutex> lock(mutex_);
  steps_to_cut_ = operations;
  cut_thread_ = std::this_thread::get_id();
  cut_taken_ = false;
}

bool MemoryFileStore::PowerWasCut() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cut_taken_;
}

void MemoryFileStore::Step() {
  if (steps_to_cut_ < 0 || cut_taken_ || std::this_thread::get_id() != cut_thread_) return;
  if (steps_to_cut_ > 0) --steps_to_cut_;
  if (steps_to_cut_ > 0) return;
  at_cut_ = DeviceNow();
  cut_taken_ = true;
}

std::map<std::string, std::vector<std::uint8_t>> MemoryFileStore::DeviceNow() const {
  std::map<std::string, std::vector<std::uint8_t>> device;
  for (const auto& [path, node] : on_device_) device[path] = node->on_device;
  return device;
}

bool MemoryFileStore::Exists(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_.count(FullPath(name)) != 0;
}

std::vector<std::uint8_t> MemoryFileStore::Bytes(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = files_.find(FullPath(name));
  return it == files_.end() ? std::vector<std::uint8_t>{} : it->second->bytes;
}

std::vector<std::string> MemoryFileStore::FilesIn(const std::string& directory) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> found;
  for (const auto& entry : files_) {
    if (DirectoryOf(entry.first) == directory) found.push_back(entry.first);
  }
  return found;
}

int MemoryFileStore::OpenHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(open_.size());
}

int MemoryFileStore::WritesTo(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = writes_.find(FullPath(name));
  return it == writes_.end() ? 0 : it->second;
}

bool MemoryFileStore::OnDevice(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string path = FullPath(name);
  const auto file = files_.find(path);
  const auto named = on_device_.find(path);
  return file != files_.end() && named != on_device_.end() && named->second == file->second &&
         file->second->on_device == file->second->bytes;
}

std::size_t MemoryFileStore::GetCurrentDir(char* buf, std::size_t cap) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cwd_.size() + 1 > cap) return 0;
  std::memcpy(buf, cwd_.c_str(), cwd_.size() + 1);
  return cwd_.size();
}

bool MemoryFileStore::SetCurrentDir(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string full = FullPath(path);
  if (directories_.count(full) == 0) return Fail(kNoFile);
  cwd_ = full;
  return true;
}

FileHandle MemoryFileStore::OpenRead(const char* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string path = FullPath(name);
  const auto it = files_.find(path);
  if (it == files_.end()) {
    Fail(kNoFile);
    return kInvalidFile;
  }
  return Add(OpenFile{path, it->second, false, false, 0});
}

FileHandle MemoryFileStore::CreateNew(const char* name, CreateFailure* why) {
  // A new file open for writing is a new file appended to.
  return OpenAppend(name, true, why);
}

FileHandle MemoryFileStore::OpenAppend(const char* name, bool must_be_new, CreateFailure* why) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string path = FullPath(name);
  const auto it = files_.find(path);
  if (it != files_.end() && !must_be_new) return Add(OpenFile{path, it->second, true, false, 0});
  const bool taken = it != files_.end();
  if (taken || !Writable(path)) {
    Fail(taken ? "File exists" : kDenied);
    if (why != nullptr) *why = taken ? CreateFailure::kNameTaken : CreateFailure::kRefused;
    return kInvalidFile;
  }
  auto node = std::make_shared<Node>();
  files_[path] = node;
  Step();
  return Add(OpenFile{path, node, true, false, 0});
}

int MemoryFileStore::Read(FileHandle file, std::uint8_t* dst, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenFile* f = Find(file);
  if (f == nullptr || f->writing || count < 0) return -1;
  const std::vector<std::uint8_t>& bytes = f->node->bytes;
  const std::size_t left = bytes.size() - std::min(bytes.size(), f->position);
  const std::size_t n = std::min(left, static_cast<std::size_t>(count));
  std::copy_n(bytes.begin() + static_cast<long>(f->position), n, dst);
  f->position += n;
  return static_cast<int>(n);
}

int MemoryFileStore::Write(FileHandle file, const std::uint8_t* src, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenFile* f = Find(file);
  if (f == nullptr || !f->writing || count < 0) return -1;
  ++writes_[f->path];
  long n = count;
  if (write_budget_ >= 0) {
    // A full device takes what still fits, then refuses.
    if (write_budget_ == 0 && count > 0) {
      Fail(kNoSpace);
      return -1;
    }
    n = std::min(n, write_budget_);
    write_budget_ -= n;
    if (n < count) Fail(kNoSpace);
  }
  std::vector<std::uint8_t>& bytes = f->node->bytes;
  bytes.insert(bytes.end(), src, src + n);
  Step();
  return static_cast<int>(n);
}

int MemoryFileStore::ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenFile* f = Find(file);
  if (f == nullptr || f->writing || count < 0 || offset < 0) return -1;
  const std::vector<std::uint8_t>& bytes = f->node->bytes;
  const auto at = static_cast<std::size_t>(offset);
  if (at >= bytes.size()) return 0;
  const std::size_t n = std::min(bytes.size() - at, static_cast<std::size_t>(count));
  std::copy_n(bytes.begin() + static_cast<long>(at), n, dst);
  return static_cast<int>(n);
}

std::int64_t MemoryFileStore::Size(FileHandle file) {
  std::lock_guard<std::mutex> lock(mutex_);
  const OpenFile* f = Find(file);
  return f == nullptr ? -1 : static_cast<std::int64_t>(f->node->bytes.size());
}

bool MemoryFileStore::Truncate(FileHandle file, std::int64_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenFile* f = Find(file);
  if (f == nullptr || !f->writing || size < 0) return false;
  const auto n = static_cast<std::size_t>(size);
  if (n < f->node->bytes.size()) f->node->bytes.resize(n);
  if (n < f->node->on_device.size()) f->node->on_device.resize(n);
  Step();
  return true;
}

bool MemoryFileStore::SyncData(FileHandle file) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenFile* f = Find(file);
  if (f == nullptr) return false;
  f->node->on_device = f->node->bytes;
  Step();
  return true;
}

bool MemoryFileStore::Close(FileHandle file) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = open_.find(file);
  if (it == open_.end()) return false;
  bool flushed = true;
  if (it->second.writing) {
    if (fail_closes_) {
      flushed = Fail(kIoError);
    } else {
      it->second.node->on_device = it->second.node->bytes;
    }
    Step();
  }
  open_.erase(it);
  return flushed;
}

bool MemoryFileStore::TryLock(FileHandle file) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenFile* f = Find(file);
  if (f == nullptr) return false;
  for (const auto& entry : open_) {
    if (entry.first != file && entry.second.node == f->node && entry.second.locked) return false;
  }
  f->locked = true;
  return true;
}

bool MemoryFileStore::Replace(const char* from, const char* to) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Move(FullPath(from), FullPath(to));
}

bool MemoryFileStore::RenameNew(const char* from, const char* to, CreateFailure* why) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string target = FullPath(to);
  const bool taken = files_.count(target) != 0;
  if (why != nullptr) *why = taken ? CreateFailure::kNameTaken : CreateFailure::kRefused;
  return taken ? Fail("File exists") : Move(FullPath(from), target);
}

bool MemoryFileStore::Move(const std::string& source, const std::string& target) {
  if (fail_replaces_ || files_.count(source) == 0 || !Writable(source) || !Writable(target)) {
    return Fail(kDenied);
  }
  files_[target] = files_[source];
  files_.erase(source);
  Step();
  return true;
}

bool MemoryFileStore::Remove(const char* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string path = FullPath(name);
  if (files_.count(path) == 0) return Fail(kNoFile);
  if (!Writable(path)) return Fail(kDenied);
  // As on Windows, where a file that is open cannot be removed.
  for (const auto& entry : open_) {
    if (entry.second.node == files_[path]) return Fail("The file is in use");
  }
  files_.erase(path);
  Step();
  return true;
}

bool MemoryFileStore::SyncDirectory(const char* directory) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string dir = FullPath(directory);
  if (directories_.count(dir) == 0) return Fail(kNoFile);
  for (auto it = on_device_.begin(); it != on_device_.end();) {
    it = DirectoryOf(it->first) == dir ? on_device_.erase(it) : std::next(it);
  }
  for (const auto& [path, node] : files_) {
    if (DirectoryOf(path) == dir) on_device_[path] = node;
  }
  Step();
  return true;
}

bool MemoryFileStore::ListFiles(const char* directory,
                                const std::function<void(const char* name)>& visit) {
  std::vector<std::string> names;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string dir = FullPath(directory);
    if (directories_.count(dir) == 0) return Fail(kNoFile);
    for (const auto& entry : files_) {
      if (DirectoryOf(entry.first) == dir) names.push_back(entry.first.substr(dir.size() + 1));
    }
  }
  for (const std::string& name : names) visit(name.c_str());
  return true;
}

std::string MemoryFileStore::LastFailure() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
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

MemoryFileStore::OpenFile* MemoryFileStore::Find(FileHandle file) {
  const auto it = open_.find(file);
  return it == open_.end() ? nullptr : &it->second;
}

FileHandle MemoryFileStore::Add(OpenFile file) {
  const FileHandle handle = next_handle_++;
  open_[handle] = std::move(file);
  return handle;
}

bool MemoryFileStore::Fail(const char* why) {
  failure_ = why;
  return false;
}
