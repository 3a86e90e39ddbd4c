// Named resources of modules: the bytes a Windows module carries as its bitmap (and other) resources,
// here registered by the module when it is loaded, found by type and name, and gone when it is
// unloaded.
//
//   static const uint8_t kBits[] = {...};   // a BMP file
//   static vcl::TResourceRegistration reg("korvenrt", vcl::RT_BITMAP_NAME, "TSCANNER", kBits, sizeof kBits);
//   vcl::TBitmap b;
//   vcl::LoadBitmapResource(&b, "TSCANNER");
#ifndef VCL_RESOURCES_H
#define VCL_RESOURCES_H

#include <vcl/SysUtils.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vcl {

class TBitmap;

// The type of bitmap resources. A bitmap resource here is a whole BMP file (with its file header).
inline constexpr const char* RT_BITMAP_NAME = "BITMAP";

VCL_EXCEPTION_CLASS(EResNotFound, Exception);  // "Resource TSCANNER not found"

// One registered resource; Data nullptr when there is none.
struct TResourceData {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  std::string Module;  // the name the module registered it under
};

// Registers the bytes (not copied: they must outlive the registration) under a type and a name
// (both compared without case). A later registration of the same type and name hides the earlier
// one until it is withdrawn.
void RegisterResource(const std::string& module, const std::string& type, const std::string& name,
                      const uint8_t* data, size_t size);
// Withdraws the registration of exactly those bytes under that type and name.
void UnregisterResource(const std::string& type, const std::string& name, const uint8_t* data);
// The resource registered last under that type and name.
TResourceData FindResourceData(std::string_view type, std::string_view name);

// Registers a resource for the lifetime of a module: a static object in it.
class TResourceRegistration {
 public:
  TResourceRegistration(const char* module, const char* type, const char* name, const uint8_t* data, size_t size)
      : type_(type), name_(name), data_(data) {
    RegisterResource(module, type, name, data, size);
  }
  ~TResourceRegistration() { UnregisterResource(type_, name_, data_); }
  TResourceRegistration(const TResourceRegistration&) = delete;
  TResourceRegistration& operator=(const TResourceRegistration&) = delete;

 private:
  std::string type_, name_;
  const uint8_t* data_;
};

// Loads the bitmap resource of that name into Bitmap (as TBitmap::LoadFromResourceName would);
// EResNotFound "Resource <name> not found" when no module has it.
void LoadBitmapResource(TBitmap* Bitmap, std::string_view Name);

}  // namespace vcl

#endif
