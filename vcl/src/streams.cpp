// TStream and its memory, string and file streams.
#include <vcl/Classes.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vcl {

VCL_IMPLEMENT_CLASS(TStream, TObject)
VCL_IMPLEMENT_CLASS(TCustomMemoryStream, TStream)
VCL_IMPLEMENT_CLASS(TMemoryStream, TCustomMemoryStream)
VCL_IMPLEMENT_CLASS(TStringStream, TStream)
VCL_IMPLEMENT_CLASS(TFileStream, TStream)

// ---- TStream ------------------------------------------------------------------------------------

int64_t TStream::GetSize() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

std::shared_ptr<uint8_t[]> TStream::Lend(int64_t) { return nullptr; }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* source, int64_t count) {
  if (count < 0) throw EReadError("Stream read error");
  if (count == 0) {
    source->SetPosition(0);
    count = source->GetSize();
  }
  // A memory source is written in one piece, without a bounce buffer.
  if (auto* mem = dynamic_cast<TCustomMemoryStream*>(source)) {
    int64_t pos = mem->GetPosition();
    if (count > mem->GetSize() - pos) throw EReadError("Stream read error");
    WriteBuffer(static_cast<uint8_t*>(mem->Memory()) + pos, count);
    mem->SetPosition(pos + count);
    return count;
  }
  const int64_t chunk = 1 << 20;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min(count, chunk)));
  int64_t left = count;
  while (left > 0) {
    int64_t n = std::min(left, chunk);
    source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

void TStream::WriteComponent(TComponent* instance) {
  TWriter writer(this);
  writer.WriteRootComponent(instance);
}

TComponent* TStream::ReadComponent(TComponent* instance) {
  TReader reader(this);
  return reader.ReadRootComponent(instance);
}

// ---- Memory streams -----------------------------------------------------------------------------

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  // A position before the start is refused; one past the end is allowed (writing extends).
  int64_t pos = base + offset;
  if (pos < 0) throw EStreamError("Invalid stream position");
  position_ = pos;
  return position_;
}

void TCustomMemoryStream::SaveToStream(TStream* stream) const {
  if (size_ > 0) stream->WriteBuffer(memory_, size_);
}

void TCustomMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(&f);
}

TMemoryStream::~TMemoryStream() { std::free(memory_); }

void TMemoryStream::Reallocate(int64_t capacity) {
  if (capacity == capacity_) return;
  if (capacity == 0) {
    std::free(memory_);
    memory_ = nullptr;
    capacity_ = 0;
    return;
  }
  // realloc can move the pages of a large block instead of copying them.
  void* p = capacity > 0 && static_cast<uint64_t>(capacity) <= SIZE_MAX / 2
                ? std::realloc(memory_, static_cast<size_t>(capacity))
                : nullptr;
  if (!p) throw EOutOfMemory("Out of memory while expanding memory stream");
  memory_ = static_cast<uint8_t*>(p);
  capacity_ = capacity;
}

void TMemoryStream::SetCapacity(int64_t capacity) {
  if (capacity < size_) capacity = size_;
  Reallocate(capacity);
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size");
  if (size > capacity_ || size < capacity_ / 2) Reallocate(size);
  size_ = size;
  if (position_ > size_) position_ = size_;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = position_ + count;
  if (end > capacity_) {
    int64_t grown = capacity_ + capacity_ / 2;
    Reallocate(std::max<int64_t>({end, grown, 256}));
  }
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  if (end > size_) size_ = end;
  return count;
}

void TMemoryStream::Clear() {
  Reallocate(0);
  size_ = 0;
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  int64_t n = stream->GetSize();
  SetSize(n);
  if (n > 0) stream->ReadBuffer(memory_, n);
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

// ---- TStringStream ------------------------------------------------------------------------------

int64_t TStringStream::Read(void* buffer, int64_t count) {
  int64_t size = static_cast<int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TStringStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = static_cast<size_t>(position_ + count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : static_cast<int64_t>(data_.size());
  int64_t pos = base + offset;
  if (pos < 0) throw EStreamError("Invalid stream position");
  position_ = pos;
  return position_;
}

void TStringStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size");
  data_.resize(static_cast<size_t>(size));
  if (position_ > size) position_ = size;
}

// ---- TFileStream --------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  if (mode == fmCreate) {
    fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0)
      throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    return;
  }
  int flags = O_CLOEXEC;
  switch (mode & 0x3) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  fd_ = ::open(fileName.c_str(), flags);
  if (fd_ < 0) throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(EISDIR));
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<uint8_t*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, static_cast<const uint8_t*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) throw EStreamError("Invalid stream position");
  return r;
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw EStreamError("Stream write error");
  if (GetPosition() > size) SetPosition(size);
}

}  // namespace vcl
