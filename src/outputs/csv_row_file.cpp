#include "outputs/csv_row_file.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "settings/free_name.h"
#include "storage/whole_file.h"

namespace {

constexpr char kExtension[] = ".csv";

}  // namespace

bool CsvRowFile::Begin(FileStore* files, const std::string& base, const char* header, Report report,
                       std::string* problem) {
  Keep();
  files_ = files;
  AppendFile::Options options;
  options.must_be_new = true;
  options.report = std::move(report);
  struct Claimer : NameClaimer {
    Claimer(CsvRowFile* f, const AppendFile::Options& o) : file(f), options(o) {}
    NameClaim Claim(const char* candidate) override {
      CreateFailure why = CreateFailure::kNone;
      if (file->file_.Open(file->files_, candidate, options, &why)) return NameClaim::kClaimed;
      return why == CreateFailure::kNameTaken ? NameClaim::kTaken : NameClaim::kFailed;
    }
    CsvRowFile* file;
    const AppendFile::Options& options;
  } claimer(this, options);
  std::vector<char> name(base.size() + 16);  // room for "_999.csv"
  if (!ClaimFreeName(base.c_str(), kExtension, claimer, name.data(), name.size())) {
    *problem = "--csv: no file can be made in the start directory (" +
               (file_.failure().empty() ? files->LastFailure() : file_.failure()) + ")";
    return false;
  }
  Append(header, std::strlen(header));
  return true;
}

void CsvRowFile::Append(const char* record, std::size_t length) {
  if (file_.is_open()) file_.Append(reinterpret_cast<const std::uint8_t*>(record), length);
}

void CsvRowFile::Keep() {
  if (file_.is_open()) file_.Close();
}

void CsvRowFile::Discard() {
  if (!file_.is_open()) return;
  const std::string run_name = file_.name();
  file_.Close();
  files_->Remove(run_name.c_str());
  files_->SyncDirectory(".");
}

bool CsvRowFile::Publish(const std::string& base, std::string* name, std::string* problem) {
  if (!file_.is_open()) return false;
  const std::string run_name = file_.name();
  const bool complete = file_.Close();
  std::vector<char> chosen(base.size() + 16);  // room for "_999.csv"
  if (!complete) {
    *problem = "--csv: " + base + kExtension + " not written: rows of the run are missing from " +
               run_name + ", which is kept";
    return false;
  }
  if (!RenameToFreeName(files_, run_name.c_str(), base.c_str(), kExtension, chosen.data(),
                        chosen.size())) {
    *problem = "--csv: " + base + kExtension + " not named (" + files_->LastFailure() +
               "): the rows stay in " + run_name;
    return false;
  }
  *name = chosen.data();
  files_->SyncDirectory(".");
  return true;
}
