#include "form_file.h"

#include <vcl/Forms.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace korven::designer {

namespace {

// A form of a class the designer does not know (the application's TForm1): a TForm that reports
// the file's class name, so that it is written back as it was read.
class StandInForm : public vcl::TForm {
 public:
  StandInForm(const std::string& className)
      : vcl::TForm(nullptr), meta_(std::make_unique<vcl::TMetaClass>(className, &vcl::TForm::StaticClass(), nullptr)) {}
  const vcl::TMetaClass& ClassType() const override { return *meta_; }

 private:
  std::unique_ptr<vcl::TMetaClass> meta_;
};

std::string Reason(int err) { return std::strerror(err); }

// The class name of the stream's root component.
std::string RootClassName(vcl::TMemoryStream& binary) {
  vcl::TReader reader(&binary);
  reader.ReadSignature();
  vcl::TFilerFlags flags;
  int childPos = 0;
  reader.ReadPrefix(flags, childPos);
  std::string name = reader.ReadStr();
  binary.SetPosition(0);
  return name;
}

}  // namespace

FormFile::FormFile(const std::string& fileName) : fileName_(fileName) {
  vcl::TMemoryStream data;
  try {
    data.LoadFromFile(fileName);
  } catch (const vcl::Exception& e) {
    throw FormFileError(e.Message());
  }
  try {
    vcl::TMemoryStream binary;
    if (data.GetSize() >= 4 && std::memcmp(data.Memory(), "TPF0", 4) == 0) {
      format_ = vcl::fffBinary;
      binary.LoadFromStream(&data);
    } else {
      format_ = vcl::fffText;
      ObjectTextToBinary(&data, &binary);
    }
    binary.SetPosition(0);
    std::string className = RootClassName(binary);
    if (vcl::TClass cls = vcl::GetClass(className))
      root_.reset(cls->CreateComponent(nullptr));
    else if (className.size() > 1 && (className[0] == 'T' || className[0] == 't'))
      root_ = std::make_unique<StandInForm>(className);
    else
      vcl::FindClass(className);  // raises "Class X not found"
    // At design time an event may name a handler the form's code has not got.
    root_->SetDesigning(true);
    binary.ReadComponent(root_.get());
  } catch (const vcl::Exception& e) {
    root_.reset();
    throw FormFileError(fileName + ": " + e.Message());
  }
}

FormFile::~FormFile() = default;

vcl::TComponent* FormFile::Find(const std::string& name) const {
  if (name.empty()) return nullptr;
  if (vcl::SameText(root_->GetName(), name)) return root_.get();
  return root_->FindComponent(name);
}

void FormFile::Save() {
  vcl::TMemoryStream binary;
  vcl::TStringStream text;
  const void* bytes = nullptr;
  size_t size = 0;
  try {
    binary.WriteComponent(root_.get());
    if (format_ == vcl::fffText) {
      binary.SetPosition(0);
      ObjectBinaryToText(&binary, &text);
      bytes = text.DataString().data();
      size = text.DataString().size();
    } else {
      bytes = binary.Memory();
      size = static_cast<size_t>(binary.GetSize());
    }
  } catch (const vcl::Exception& e) {
    throw FormFileError("cannot write " + fileName_ + ": " + e.Message());
  }

  std::string folder = ".";
  std::string base = fileName_;
  if (auto slash = fileName_.find_last_of('/'); slash != std::string::npos) {
    folder = slash == 0 ? "/" : fileName_.substr(0, slash);
    base = fileName_.substr(slash + 1);
  }
  std::string temp = folder + "/." + base + ".XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw FormFileError("cannot write " + fileName_ + ": " + Reason(errno));
  auto fail = [&](int err) {
    close(fd);
    unlink(temp.c_str());
    throw FormFileError("cannot write " + fileName_ + ": " + Reason(err));
  };
  struct stat st {};
  if (stat(fileName_.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  const char* p = static_cast<const char*>(bytes);
  for (size_t left = size; left > 0;) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) fail(errno);
  if (close(fd) != 0) {
    int err = errno;
    unlink(temp.c_str());
    throw FormFileError("cannot write " + fileName_ + ": " + Reason(err));
  }
  if (rename(temp.c_str(), fileName_.c_str()) != 0) {
    int err = errno;
    unlink(temp.c_str());
    throw FormFileError("cannot write " + fileName_ + ": " + Reason(err));
  }
  if (int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace korven::designer
