#include "options.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korven::saneds {

namespace {

double FromWord(SANE_Value_Type type, SANE_Word w) { return type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w); }

SANE_Word ToWord(SANE_Value_Type type, double v) {
  if (type == SANE_TYPE_FIXED) return SANE_FIX(v);
  if (type == SANE_TYPE_BOOL) return v != 0 ? SANE_TRUE : SANE_FALSE;
  return static_cast<SANE_Word>(std::lround(v));
}

}  // namespace

void OptionSet::Reload() {
  index_.clear();
  SANE_Int count = 0;
  const SANE_Option_Descriptor* first = sane_get_option_descriptor(handle_, 0);
  if (!first || sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return;
  count = std::clamp<SANE_Int>(count, 0, 10000);  // a count beyond reason is not trusted
  for (int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, i);
    if (d && d->name && *d->name && d->type != SANE_TYPE_GROUP) index_.emplace(d->name, i);  // the first of a name wins
  }
}

int OptionSet::Find(const std::string& name) const {
  auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

const SANE_Option_Descriptor* OptionSet::Describe(int option) const {
  return option > 0 ? sane_get_option_descriptor(handle_, option) : nullptr;
}

bool OptionSet::IsActive(int option) const {
  const SANE_Option_Descriptor* d = Describe(option);
  return d && SANE_OPTION_IS_ACTIVE(d->cap) && (d->cap & SANE_CAP_SOFT_DETECT);
}

bool OptionSet::IsSettable(int option) const {
  const SANE_Option_Descriptor* d = Describe(option);
  return IsActive(option) && SANE_OPTION_IS_SETTABLE(d->cap);
}

bool OptionSet::IsNumber(int option) const {
  const SANE_Option_Descriptor* d = Describe(option);
  return d && (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED || d->type == SANE_TYPE_BOOL) &&
         d->size == SANE_Int(sizeof(SANE_Word));
}

SANE_Status OptionSet::Control(int option, SANE_Action action, void* value) {
  SANE_Int info = 0;
  SANE_Status s = sane_control_option(handle_, option, action, value, &info);
  if (info & SANE_INFO_RELOAD_OPTIONS) Reload();
  return s;
}

bool OptionSet::GetNumber(int option, double& value) const {
  if (!IsActive(option) || !IsNumber(option)) return false;
  SANE_Word w = 0;
  if (sane_control_option(handle_, option, SANE_ACTION_GET_VALUE, &w, nullptr) != SANE_STATUS_GOOD) return false;
  value = FromWord(Describe(option)->type, w);
  return true;
}

bool OptionSet::GetString(int option, std::string& value) const {
  const SANE_Option_Descriptor* d = Describe(option);
  if (!IsActive(option) || d->type != SANE_TYPE_STRING || d->size <= 0) return false;
  std::vector<char> buf(size_t(d->size) + 1, '\0');
  if (sane_control_option(handle_, option, SANE_ACTION_GET_VALUE, buf.data(), nullptr) != SANE_STATUS_GOOD) return false;
  value.assign(buf.data(), strnlen(buf.data(), size_t(d->size)));
  return true;
}

Constraint OptionSet::NumberConstraint(int option) const {
  Constraint c;
  const SANE_Option_Descriptor* d = Describe(option);
  if (!d) return c;
  if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
    c.kind = Constraint::Range;
    c.min = FromWord(d->type, d->constraint.range->min);
    c.max = FromWord(d->type, d->constraint.range->max);
    c.step = FromWord(d->type, d->constraint.range->quant);
    if (c.max < c.min) std::swap(c.min, c.max);
  } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
    c.kind = Constraint::List;
    const SANE_Word n = std::clamp<SANE_Word>(d->constraint.word_list[0], 0, 4096);
    for (SANE_Word i = 1; i <= n; ++i) c.list.push_back(FromWord(d->type, d->constraint.word_list[i]));
    if (c.list.empty()) c.kind = Constraint::None;
  } else if (d->type == SANE_TYPE_BOOL) {
    c.kind = Constraint::List;
    c.list = {0, 1};
  }
  return c;
}

std::vector<std::string> OptionSet::Strings(int option) const {
  std::vector<std::string> out;
  const SANE_Option_Descriptor* d = Describe(option);
  if (!d || d->constraint_type != SANE_CONSTRAINT_STRING_LIST || !d->constraint.string_list) return out;
  for (size_t i = 0; d->constraint.string_list[i] && i < 4096; ++i) out.push_back(d->constraint.string_list[i]);
  return out;
}

double OptionSet::Fit(int option, double value) const {
  const SANE_Option_Descriptor* d = Describe(option);
  Constraint c = NumberConstraint(option);
  double v = value;
  if (c.kind == Constraint::Range) {
    v = std::clamp(v, c.min, c.max);
    if (c.step > 0) v = std::clamp(c.min + std::round((v - c.min) / c.step) * c.step, c.min, c.max);
  } else if (c.kind == Constraint::List) {
    v = *std::min_element(c.list.begin(), c.list.end(),
                          [&](double a, double b) { return std::fabs(a - value) < std::fabs(b - value); });
  }
  if (d && d->type != SANE_TYPE_FIXED) v = std::round(v);
  if (d && d->type == SANE_TYPE_FIXED) v = SANE_UNFIX(SANE_FIX(v));
  return v;
}

SANE_Status OptionSet::SetNumber(int option, double want, double& got) {
  if (!IsSettable(option) || !IsNumber(option)) return SANE_STATUS_UNSUPPORTED;
  const SANE_Value_Type type = Describe(option)->type;
  SANE_Word w = ToWord(type, Fit(option, want));
  SANE_Status s = Control(option, SANE_ACTION_SET_VALUE, &w);
  // Whatever the answer, what counts is what the backend holds now.
  if (!GetNumber(option, got)) got = FromWord(type, w);
  return s;
}

SANE_Status OptionSet::SetString(int option, const std::string& value) {
  const SANE_Option_Descriptor* d = Describe(option);
  if (!IsSettable(option) || d->type != SANE_TYPE_STRING || d->size <= 0) return SANE_STATUS_UNSUPPORTED;
  if (value.size() + 1 > size_t(d->size)) return SANE_STATUS_INVAL;
  std::vector<char> buf(size_t(d->size), '\0');
  std::memcpy(buf.data(), value.data(), value.size());
  return Control(option, SANE_ACTION_SET_VALUE, buf.data());
}

}  // namespace korven::saneds
