// TPersistent and TComponent: assignment, ownership, names and notification.
#include <vcl/Classes.h>

#include <algorithm>

namespace vcl {

VCL_IMPLEMENT_CLASS(TPersistent, TObject)
VCL_IMPLEMENT_CLASS(TComponent, TPersistent)

// ---- TPersistent --------------------------------------------------------------------------------

void TPersistent::Assign(TPersistent* source) {
  if (!source) AssignError(nullptr);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  std::string from = source ? source->ClassName() : std::string("nil");
  throw EConvertError("Cannot assign a " + from + " to a " + ClassName());
}

void TPersistent::DefineProperties(TFiler*) {}

std::string TPersistent::GetNamePath() const { return ClassName(); }

std::string TPersistent::EventBinding(std::string_view property) const {
  if (!eventBindings_) return {};
  auto it = eventBindings_->find(UpperCase(property));
  return it == eventBindings_->end() ? std::string() : it->second;
}

void TPersistent::SetEventBinding(std::string_view property, const std::string& handlerName) {
  if (handlerName.empty()) {
    if (eventBindings_) eventBindings_->erase(UpperCase(property));
    return;
  }
  if (!eventBindings_) eventBindings_ = std::make_unique<std::map<std::string, std::string>>();
  (*eventBindings_)[UpperCase(property)] = handlerName;
}

// ---- TComponent ---------------------------------------------------------------------------------

void TComponent::DeclareProperties(TPropertyBuilder<TComponent>& p) {
  // The name travels in the object header, so the property itself is never written.
  p.Property("Name", &TComponent::GetName, &TComponent::SetName).Stored(false);
  p.Property("Tag", &TComponent::GetTag, &TComponent::SetTag).Default(0);
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell those that asked; each removes itself from our list as it is told.
  while (!freeNotifies_.empty()) {
    TComponent* c = freeNotifies_.back();
    freeNotifies_.pop_back();
    c->freeNotifies_.erase(std::remove(c->freeNotifies_.begin(), c->freeNotifies_.end(), this),
                           c->freeNotifies_.end());
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

std::string TComponent::Key(std::string_view name) { return UpperCase(name); }

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return components_[static_cast<size_t>(index)];
}

int TComponent::GetComponentIndex() const {
  if (!owner_) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError("'" + name + "' is not a valid component name");
  if (owner_) {
    owner_->ValidateRename(this, name_, name);
    owner_->CheckField(name, this);
    owner_->UnbindField(name_, this);
  } else {
    ValidateRename(nullptr, name_, name);
  }
  name_ = name;
  if (owner_) owner_->BindField(name_, this);
}

std::vector<std::string> TComponent::FieldNames() const {
  std::vector<std::string> names;
  for (const auto& [key, f] : fields_) names.push_back(f.name);
  return names;
}

TComponent* TComponent::FieldValue(std::string_view name) const {
  auto it = fields_.find(Key(name));
  return it == fields_.end() ? nullptr : it->second.get();
}

void TComponent::CheckField(std::string_view name, const TComponent* c) const {
  if (name.empty() || !c) return;
  auto it = fields_.find(Key(name));
  if (it == fields_.end() || c->InheritsFrom(*it->second.cls)) return;
  throw EComponentError("The field " + it->second.name + " of " + ClassName() + " holds a " +
                        it->second.cls->ClassName() + ", not a " + c->ClassName());
}

void TComponent::BindField(std::string_view name, TComponent* c) {
  if (name.empty()) return;
  auto it = fields_.find(Key(name));
  if (it == fields_.end()) return;
  CheckField(name, c);
  it->second.set(c);
}

void TComponent::UnbindField(std::string_view name, TComponent* c) {
  if (name.empty()) return;
  auto it = fields_.find(Key(name));
  if (it != fields_.end() && it->second.get() == c) it->second.set(nullptr);
}

void TComponent::ValidateRename(TComponent* component, const std::string& curName, const std::string& newName) {
  if (!component || newName.empty() || SameText(curName, newName)) return;
  if (TComponent* other = FindComponent(newName); other && other != component)
    throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::SetState(TComponentStateItem item, bool on) {
  if (on)
    state_.Include(item);
  else
    state_.Exclude(item);
}

void TComponent::SetDesigning(bool designing, bool setChildren) {
  SetState(csDesigning, designing);
  if (setChildren)
    for (TComponent* c : components_) c->SetDesigning(designing, true);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
    freeNotifies_.push_back(component);
  auto& theirs = component->freeNotifies_;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
  auto& theirs = component->freeNotifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Insert(TComponent* c) {
  components_.push_back(c);
  c->owner_ = this;
  BindField(c->name_, c);
}

void TComponent::Remove(TComponent* c) {
  UnbindField(c->name_, c);
  components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
  c->owner_ = nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component) return;
  if (component->owner_ == this) return;
  ValidateRename(component, "", component->name_);
  CheckField(component->name_, component);
  if (component->owner_) component->owner_->RemoveComponent(component);
  Insert(component);
  if (state_.Contains(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->owner_ != this) return;
  Notification(component, opRemove);
  Remove(component);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    // Those who asked are told by the component itself; the rest need not hear of each sibling.
    Remove(c);
    delete c;
  }
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component) RemoveFreeNotification(component);
  // A handler may free siblings; walk by index and re-check the bound each time.
  for (int i = ComponentCount() - 1; i >= 0; --i) {
    if (i >= ComponentCount()) {
      i = ComponentCount();
      continue;
    }
    components_[static_cast<size_t>(i)]->Notification(component, operation);
  }
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

const std::any* TComponent::FindHandler(std::string_view name) const {
  auto it = handlers_.find(Key(name));
  return it == handlers_.end() ? nullptr : &it->second.fn;
}

std::vector<std::string> TComponent::HandlerNames() const {
  std::vector<std::string> names;
  for (const auto& [key, h] : handlers_) names.push_back(h.name);
  return names;
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
  // Copy: a writer callback must not be confused by a list that changes under it.
  std::vector<TComponent*> children = components_;
  for (TComponent* c : children) proc(c);
}

void TComponent::SetParentComponent(TComponent*) {}

}  // namespace vcl
