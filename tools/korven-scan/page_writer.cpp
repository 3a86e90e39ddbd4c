// Files that appear complete or not at all, and the writer that spreads a scan's pages over them.
#include "image_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace korven::scan {

namespace {

std::string Reason(int err) { return std::strerror(err); }

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The mode a new file gets (0666 less the umask); the umask can only be read by setting it.
mode_t NewFileMode() {
  static mode_t mode = [] {
    mode_t mask = umask(022);
    umask(mask);
    return mode_t(0666 & ~mask);
  }();
  return mode;
}

// The temporary files a signal handler must remove: fixed storage, so the handler only reads
// memory and calls unlink (both allowed in a handler). A slot's path is complete before it is
// marked used.
constexpr int kSlots = 32;
char tempPaths[kSlots][4096];
volatile std::sig_atomic_t slotUsed[kSlots];

int Register(const std::string& path) {
  if (path.size() >= sizeof tempPaths[0]) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (slotUsed[i]) continue;
    std::memcpy(tempPaths[i], path.c_str(), path.size() + 1);
    slotUsed[i] = 1;
    return i;
  }
  return -1;
}

void Unregister(int& slot) {
  if (slot >= 0) slotUsed[slot] = 0;
  slot = -1;
}

extern "C" void RemoveTemporaryFilesAndDie(int sig) {
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i]) unlink(tempPaths[i]);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction sa {};
    sa.sa_handler = RemoveTemporaryFilesAndDie;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

// ---- AtomicFile ---------------------------------------------------------------------------------

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
  std::string folder = FolderOf(target_);
  std::string base = target_.substr(target_.find_last_of('/') == std::string::npos ? 0 : target_.find_last_of('/') + 1);
  temp_ = (folder == "/" ? "/" : folder + "/") + "." + base + ".XXXXXX";
  fd_ = mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    temp_.clear();
    throw OutputError("cannot create " + target_ + ": " + Reason(err));
  }
  slot_ = Register(temp_);
  fchmod(fd_, NewFileMode());
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
  Unregister(slot_);
}

void AtomicFile::Commit() {
  if (fsync(fd_) != 0) throw OutputError("cannot write " + target_ + ": " + Reason(errno));
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) throw OutputError("cannot write " + target_ + ": " + Reason(errno));
  if (rename(temp_.c_str(), target_.c_str()) != 0) throw OutputError("cannot create " + target_ + ": " + Reason(errno));
  committed_ = true;
  Unregister(slot_);
  // The rename itself must reach the disk too.
  int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

// ---- PageWriter ---------------------------------------------------------------------------------

PageWriter::PageWriter(std::string name, ImageFormat format)
    : name_(std::move(name)), format_(format), perPage_(HasPageNumber(name_)) {}

PageWriter::~PageWriter() { Discard(); }

bool PageWriter::AcceptsMorePages() const { return perPage_ || HoldsManyPages(format_) || pages_ == 0; }

void PageWriter::AddPage(const vcl::TBitmap& bitmap, Resolution res) {
  if (!AcceptsMorePages())
    throw OutputError(name_ + " holds one page (" + FormatName(format_) + "); a page number (%d) in the name writes one file per page");
  if (!res.Known()) res = ResolutionOf(bitmap);
  PageView page(bitmap);
  if (perPage_) {
    AtomicFile file(PageFileName(name_, pages_ + 1));
    auto encoder = MakeEncoder(format_, file);
    encoder->AddPage(bitmap, page, res);
    encoder->Finish();
    encoder.reset();
    file.Commit();
    files_.push_back(file.Target());
  } else {
    if (!file_) {
      file_ = std::make_unique<AtomicFile>(PageFileName(name_, 1));  // no number: only "%%" changes
      encoder_ = MakeEncoder(format_, *file_);
    }
    encoder_->AddPage(bitmap, page, res);
  }
  ++pages_;
}

void PageWriter::Commit() {
  if (!file_) return;
  encoder_->Finish();
  encoder_.reset();
  file_->Commit();
  files_.push_back(file_->Target());
  file_.reset();
}

void PageWriter::Discard() {
  encoder_.reset();
  file_.reset();
}

const char* WriterSoftwareName() { return "korven-scan " KORVEN_SCAN_VERSION; }

}  // namespace korven::scan
