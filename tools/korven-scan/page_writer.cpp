// Files that appear complete or not at all, and the writer that spreads a scan's pages over them.
#include "image_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// The file a name stands for: a symbolic link (also a chain of them, also one whose target does not
// exist yet) is followed, so that writing through the link replaces the file it points to, not the
// link. Relative link targets count from the link's own folder.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || size_t(n) >= target.size()) return current;
    target.resize(size_t(n));
    if (target.empty()) return current;
    current = target[0] == '/' ? target : (FolderOf(current) == "/" ? "/" : FolderOf(current) + "/") + target;
  }
  throw OutputError("cannot write " + path + ": " + Reason(ELOOP));
}

// Copies everything from fd (from its start) to out.
bool CopyAll(int fd, int out, int& err) {
  if (lseek(fd, 0, SEEK_SET) < 0) {
    err = errno;
    return false;
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      return false;
    }
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.data() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        err = errno;
        return false;
      }
      done += w;
    }
  }
}

// The new name must reach the disk too.
void SyncFolder(const std::string& path) {
  int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

bool namedTemporaries = false;

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
  if (target_.empty()) {
    // Standard output: the file is built in the temporary folder, already unlinked, and copied out
    // whole by Commit, so a failure writes nothing there either.
    const char* tmp = std::getenv("TMPDIR");
    temp_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/korven-scan.XXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      int err = errno;
      throw OutputError("cannot make a temporary file in " + FolderOf(temp_) + " for standard output: " + Reason(err));
    }
    unlink(temp_.c_str());
    temp_.clear();
    return;
  }
  path_ = FollowLinks(target_);
  std::string folder = FolderOf(path_);
  std::string base = path_.substr(path_.find_last_of('/') == std::string::npos ? 0 : path_.find_last_of('/') + 1);
  // An unnamed file first: killed at any moment (even by SIGKILL), the program leaves nothing.
  if (!namedTemporaries) fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);  // read too: TIFF reads back what it wrote
  if (fd_ >= 0)
    unnamed_ = true;
  else
    OpenNamedTemporary(folder, base);
  // A file that is replaced keeps its mode and, where the process may give it, its owner; a new
  // file gets the mode the umask leaves.
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    if (fchown(fd_, st.st_uid, st.st_gid) != 0) {
      // Another owner is not ours to give; the group may still be.
      if (fchown(fd_, geteuid(), st.st_gid) != 0) {
      }
    }
    fchmod(fd_, st.st_mode & 07777);
  } else {
    fchmod(fd_, NewFileMode());
  }
}

void AtomicFile::UseNamedTemporaries(bool named) { namedTemporaries = named; }

void AtomicFile::OpenNamedTemporary(const std::string& folder, const std::string& base) {
  temp_ = (folder == "/" ? "/" : folder + "/") + "." + base + ".XXXXXX";
  fd_ = mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    temp_.clear();
    throw OutputError("cannot create " + target_ + ": " + Reason(err));
  }
  slot_ = Register(temp_);
}

// Gives the unnamed file its name: linked in as the target when there is none yet (atomic: a file
// that appears meanwhile is not replaced), else linked under a temporary name and renamed over the
// target, as a named temporary file would be.
void AtomicFile::LinkUnnamed() {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  auto link = [&](const std::string& name) {
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    int err = errno;
    // Without /proc, only a process allowed to open any file by handle may link it.
    if (err == ENOENT && linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return err;
  };
  int err = link(path_);
  if (err == 0) return;
  if (err != EEXIST) throw OutputError("cannot create " + target_ + ": " + Reason(err));
  std::string folder = FolderOf(path_);
  std::string base = path_.substr(path_.find_last_of('/') == std::string::npos ? 0 : path_.find_last_of('/') + 1);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = (folder == "/" ? "/" : folder + "/") + "." + base + ".";
    for (int i = 0; i < 6; ++i) name += kLetters[std::rand() % (sizeof kLetters - 1)];
    slot_ = Register(name);
    err = link(name);
    if (err == 0) {
      temp_ = name;
      return;
    }
    Unregister(slot_);
    if (err != EEXIST) break;
  }
  throw OutputError("cannot create " + target_ + ": " + Reason(err));
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
  Unregister(slot_);
}

std::string AtomicFile::Shown() const { return target_.empty() ? "standard output" : target_; }

void AtomicFile::Commit() {
  if (target_.empty()) {
    int err = 0;
    if (!CopyAll(fd_, STDOUT_FILENO, err)) throw OutputError("cannot write to standard output: " + Reason(err));
    close(fd_);
    fd_ = -1;
    committed_ = true;
    return;
  }
  if (unnamed_) {
    LinkUnnamed();
    if (temp_.empty()) {
      // Linked in as the target itself: nothing was there to lose, so the system writes it out in its
      // own time, as for any program's new file.
      int fd = fd_;
      fd_ = -1;
      committed_ = true;
      if (close(fd) != 0) throw OutputError("cannot write " + target_ + ": " + Reason(errno));
      return;
    }
  }
  // A file that replaces another reaches the disk before the name moves to it (and the folder after),
  // so a crash of the whole system leaves the old file or the new one, never neither.
  struct stat existing {};
  const bool replacing = lstat(path_.c_str(), &existing) == 0;
  if (replacing && fsync(fd_) != 0) throw OutputError("cannot write " + target_ + ": " + Reason(errno));
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) throw OutputError("cannot write " + target_ + ": " + Reason(errno));
  if (rename(temp_.c_str(), path_.c_str()) != 0) throw OutputError("cannot create " + target_ + ": " + Reason(errno));
  committed_ = true;
  Unregister(slot_);
  if (replacing) SyncFolder(path_);
}

// ---- PageWriter ---------------------------------------------------------------------------------

PageWriter::PageWriter(std::string name, ImageFormat format)
    : name_(std::move(name)), format_(format), perPage_(HasPageNumber(name_)) {}

PageWriter::~PageWriter() { Discard(); }

std::string PageWriter::NextFileName() const {
  return perPage_ ? PageFileName(name_, start_ + pages_ * increment_) : PageFileName(name_, 1);
}

bool PageWriter::AcceptsMorePages() const { return perPage_ || HoldsManyPages(format_) || pages_ == 0; }

void PageWriter::AddPage(const vcl::TBitmap& bitmap, Resolution res) {
  if (!AcceptsMorePages())
    throw OutputError(name_ + " holds one page (" + FormatName(format_) + "); a page number (%d) in the name writes one file per page");
  if (!res.Known()) res = ResolutionOf(bitmap);
  PageView page(bitmap);
  page.SetProgress(&progress_);
  if (perPage_) {
    AtomicFile file(NextFileName());
    auto encoder = MakeEncoder(format_, file);
    encoder->AddPage(bitmap, page, res);
    encoder->Finish();
    encoder.reset();
    file.Commit();
    files_.push_back(file.Shown());
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
  files_.push_back(file_->Shown());
  file_.reset();
}

void PageWriter::Discard() {
  encoder_.reset();
  file_.reset();
}

const char* WriterSoftwareName() { return "korven-scan " KORVEN_SCAN_VERSION; }

}  // namespace korven::scan
