// TList, TStrings and TStringList.
#include <vcl/Classes.h>

#include <algorithm>

namespace vcl {

VCL_IMPLEMENT_CLASS(TList, TObject)
VCL_IMPLEMENT_CLASS(TStrings, TPersistent)
VCL_IMPLEMENT_CLASS(TStringList, TStrings)

// ---- TList --------------------------------------------------------------------------------------

void TList::Check(int index) const {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TList::SetCount(int count) {
  if (count < 0) throw EListError("List count out of bounds (" + std::to_string(count) + ")");
  items_.resize(static_cast<size_t>(count), nullptr);
}

void TList::SetCapacity(int capacity) {
  if (capacity < Count()) throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
  items_.reserve(static_cast<size_t>(capacity));
}

void* TList::Get(int index) const {
  Check(index);
  return items_[static_cast<size_t>(index)];
}

void TList::Put(int index, void* item) {
  Check(index);
  items_[static_cast<size_t>(index)] = item;
}

int TList::Add(void* item) {
  items_.push_back(item);
  return Count() - 1;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
  Check(index);
  items_.erase(items_.begin() + index);
}

int TList::IndexOf(const void* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TList::Remove(void* item) {
  int i = IndexOf(item);
  if (i >= 0) Delete(i);
  return i;
}

void* TList::Extract(void* item) {
  return Remove(item) >= 0 ? item : nullptr;
}

void TList::Exchange(int a, int b) {
  Check(a);
  Check(b);
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TList::Move(int from, int to) {
  if (from == to) return;
  Check(from);
  Check(to);
  void* item = items_[static_cast<size_t>(from)];
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, item);
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::Sort(const std::function<int(void*, void*)>& compare) {
  std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

// ---- TStrings -----------------------------------------------------------------------------------

void TStrings::Error(const char* format, int index) const { throw EStringListError(Format(format, index)); }

void TStrings::Put(int index, const std::string& s) {
  TObject* obj = GetObject(index);
  BeginUpdate();
  try {
    Delete(index);
    InsertObject(index, s, obj);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

int TStrings::CompareStrings(std::string_view a, std::string_view b) const {
  if (caseSensitive_) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return CompareText(a, b);
}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::Add(const std::string& s) {
  int i = Count();
  Insert(i, s);
  return i;
}

int TStrings::AddObject(const std::string& s, TObject* obj) {
  int i = Add(s);
  PutObject(i, obj);
  return i;
}

void TStrings::InsertObject(int index, const std::string& s, TObject* obj) {
  Insert(index, s);
  PutObject(index, obj);
}

void TStrings::AddStrings(const TStrings* other) {
  if (!other) return;
  BeginUpdate();
  try {
    for (int i = 0; i < other->Count(); ++i) AddObject(other->Get(i), other->GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::IndexOfObject(const TObject* obj) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == obj) return i;
  return -1;
}

void TStrings::Move(int from, int to) {
  if (from == to) return;
  BeginUpdate();
  try {
    std::string s = Get(from);
    TObject* obj = GetObject(from);
    Delete(from);
    InsertObject(to, s, obj);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Exchange(int a, int b) {
  BeginUpdate();
  try {
    std::string sa = Get(a), sb = Get(b);
    TObject *oa = GetObject(a), *ob = GetObject(b);
    Put(a, sb);
    PutObject(a, ob);
    Put(b, sa);
    PutObject(b, oa);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

bool TStrings::Equals(const TStrings* other) const {
  if (!other || other->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != other->Get(i)) return false;
  return true;
}

std::string TStrings::GetText() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (i < text.size()) {
      size_t end = text.find_first_of("\r\n", i);
      if (end == std::string_view::npos) end = text.size();
      Add(std::string(text.substr(i, end - i)));
      i = end;
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::GetCommaText() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    if (i > 0) r += ',';
    bool quote = s.empty() && Count() == 1;
    for (char c : s)
      if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
    if (!quote) {
      r += s;
      continue;
    }
    r += '"';
    for (char c : s) {
      r += c;
      if (c == '"') r += '"';
    }
    r += '"';
  }
  return r;
}

void TStrings::SetCommaText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    auto blank = [&](size_t k) { return k < text.size() && static_cast<unsigned char>(text[k]) <= ' '; };
    while (blank(i)) ++i;
    while (i < text.size()) {
      std::string item;
      if (text[i] == '"') {
        ++i;
        while (i < text.size()) {
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              item += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += text[i++];
        }
      } else {
        while (i < text.size() && text[i] != ',' && !blank(i)) item += text[i++];
      }
      Add(item);
      while (blank(i)) ++i;
      if (i < text.size() && text[i] == ',') {
        ++i;
        while (blank(i)) ++i;
        if (i >= text.size()) Add("");
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::Names(int index) const {
  std::string s = Get(index);
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    size_t eq = s.find('=');
    if (eq != std::string::npos && CompareStrings(std::string_view(s).substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view name) const {
  int i = IndexOfName(name);
  if (i < 0) return {};
  std::string s = Get(i);
  return s.substr(s.find('=') + 1);
}

void TStrings::SetValue(std::string_view name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(name) + "=" + value;
  if (i >= 0)
    Put(i, line);
  else
    Add(line);
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TStrings*>(source)) {
    if (other == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(other);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler* filer) {
  filer->DefineProperty(
      "Strings",
      [this](TReader* r) {
        BeginUpdate();
        try {
          Clear();
          r->ReadListBegin();
          while (!r->EndOfList()) Add(r->ReadString());
          r->ReadListEnd();
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
      },
      [this](TWriter* w) {
        w->WriteListBegin();
        for (int i = 0; i < Count(); ++i) w->WriteString(Get(i));
        w->WriteListEnd();
      },
      Count() > 0);
}

void TStrings::LoadFromStream(TStream* stream) {
  int64_t n = stream->Remaining();
  if (n < 0) n = 0;
  std::string text(static_cast<size_t>(n), '\0');
  n = stream->Read(text.data(), n);
  text.resize(static_cast<size_t>(n));
  SetText(text);
}

void TStrings::SaveToStream(TStream* stream) const {
  std::string text = GetText();
  stream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(&f);
}

// ---- TStringList --------------------------------------------------------------------------------

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error("List index out of bounds (%d)", index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].s;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted string list");
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].s = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].obj;
}

void TStringList::PutObject(int index, TObject* obj) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].obj = obj;
  Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* obj) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, obj});
  Changed();
}

void TStringList::Insert(int index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted string list");
  if (index < 0 || index > Count()) Error("List index out of bounds (%d)", index);
  InsertItem(index, s, nullptr);
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TStringList::IndexOf(std::string_view s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

int TStringList::Add(const std::string& s) {
  if (!sorted_) {
    InsertItem(Count(), s, nullptr);
    return Count() - 1;
  }
  int index;
  if (Find(s, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, s, nullptr);
  return index;
}

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  Changing();
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
  Changed();
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == GetCaseSensitive()) return;
  TStrings::SetCaseSensitive(value);
  if (sorted_) Sort();
}

bool TStringList::Find(std::string_view s, int& index) const {
  // Lower bound, so that among duplicates the first is found.
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].s, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}

void TStringList::Sort() {
  CustomSort([](TStringList* list, int a, int b) {
    return list->CompareStrings(list->items_[static_cast<size_t>(a)].s, list->items_[static_cast<size_t>(b)].s);
  });
}

void TStringList::CustomSort(const std::function<int(TStringList*, int, int)>& compare) {
  if (Count() < 2) return;
  Changing();
  // Sort a permutation, so that compare sees indexes into the unchanged list.
  std::vector<int> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_ = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) Sort();
  sorted_ = value;
}

void TStringList::SetUpdateState(bool updating) {
  // Once per outermost BeginUpdate/EndUpdate pair.
  if (updating) {
    if (OnChanging) OnChanging(this);
  } else if (OnChange) {
    OnChange(this);
  }
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

}  // namespace vcl
