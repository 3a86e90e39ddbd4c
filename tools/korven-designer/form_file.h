// A form file open in the designer: read with its root marked as designing, its components found
// by name, and saved back atomically in the format it was read in.
#ifndef KORVEN_DESIGNER_FORM_FILE_H
#define KORVEN_DESIGNER_FORM_FILE_H

#include <vcl/Classes.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace korven::designer {

// A form file that cannot be read or written; the message names the file and the reason.
class FormFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FormFile {
 public:
  // Reads the file (binary "TPF0" or text). The root is created by its registered class; an
  // unregistered root class (a form class of an application, TForm1) is designed as a form that
  // carries that class name, so that it is written back under it. Raises FormFileError.
  explicit FormFile(const std::string& fileName);
  ~FormFile();
  FormFile(const FormFile&) = delete;
  FormFile& operator=(const FormFile&) = delete;

  const std::string& FileName() const { return fileName_; }
  vcl::TFormFileFormat Format() const { return format_; }
  vcl::TComponent* Root() const { return root_.get(); }
  // The root (by its name) or a component it owns; nullptr when none has that name.
  vcl::TComponent* Find(const std::string& name) const;
  // Writes the form in its format to a temporary file beside it, then renames that over the file
  // (keeping its permissions); the file is untouched when anything fails. Raises FormFileError.
  void Save();

 private:
  std::string fileName_;
  vcl::TFormFileFormat format_ = vcl::fffText;
  std::unique_ptr<vcl::TComponent> root_;
};

}  // namespace korven::designer

#endif
