// A SANE device's options as the bridge uses them: found by their well-known names, read and set as
// numbers (SANE_Int, SANE_Fixed and SANE_Bool alike, as doubles) or strings, with their constraint
// (range, word list, string list). Descriptors are read anew for every use and the name index is
// rebuilt whenever the backend says its options changed, since any set may change another option's
// range or activity. A value is brought within its constraint before it is sent and read back after,
// because the backend may adjust it.
#ifndef KORVEN_SANE_OPTIONS_H
#define KORVEN_SANE_OPTIONS_H

#include <sane/sane.h>

#include <map>
#include <string>
#include <vector>

namespace korven::saneds {

struct Constraint {
  enum Kind { None, Range, List } kind = None;
  double min = 0, max = 0, step = 0;  // Range (step 0: any value)
  std::vector<double> list;           // List, in the backend's order
};

class OptionSet {
 public:
  explicit OptionSet(SANE_Handle handle) : handle_(handle) { Reload(); }

  SANE_Handle Handle() const { return handle_; }
  void Reload();
  // The option's number, or -1 when the device has no option of that name.
  int Find(const std::string& name) const;
  const SANE_Option_Descriptor* Describe(int option) const;
  // Present, active and readable.
  bool IsActive(int option) const;
  // Active and settable by software.
  bool IsSettable(int option) const;
  // A single INT, FIXED or BOOL value.
  bool IsNumber(int option) const;

  bool GetNumber(int option, double& value) const;
  bool GetString(int option, std::string& value) const;
  // Sets `want` brought within the constraint; `got` is the value the backend holds afterwards.
  SANE_Status SetNumber(int option, double want, double& got);
  SANE_Status SetString(int option, const std::string& value);

  Constraint NumberConstraint(int option) const;
  std::vector<std::string> Strings(int option) const;
  // `value` brought within the option's constraint (clamped, put on the range's grid, or the nearest
  // listed value), rounded for INT and BOOL.
  double Fit(int option, double value) const;

 private:
  SANE_Status Control(int option, SANE_Action action, void* value);
  SANE_Handle handle_;
  std::map<std::string, int> index_;
};

}  // namespace korven::saneds

#endif
