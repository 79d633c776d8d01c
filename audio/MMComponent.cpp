#include "audio/MMComponent.h"

#include <QMetaProperty>
#include <QVariant>
#include <algorithm>

// ---------------------------------------------------------------- TMMComponent

TMMComponent::TMMComponent(QObject* AOwner) : QObject(AOwner) {}

TMMComponent::~TMMComponent() { Destroying(); }

void TMMComponent::BeginLoading() { FComponentState |= csLoading | csReading; }

void TMMComponent::EndLoading() {
  if (!InState(csLoading | csReading)) return;
  FComponentState &= ~unsigned(csLoading | csReading);
  Loaded();
}

void TMMComponent::SetDesigning(bool value) {
  if (value)
    FComponentState |= csDesigning;
  else
    FComponentState &= ~unsigned(csDesigning);
}

void TMMComponent::Notification(TMMComponent*, TOperation) {}

void TMMComponent::PublishComponentProperty(std::string name) {
  if (!HasPublishedProperty(name)) FPublished.push_back(std::move(name));
}

QObject* TMMComponent::ReadPublishedComponent(std::string_view) const { return nullptr; }

bool TMMComponent::HasPublishedProperty(std::string_view name) const {
  if (std::find(FPublished.begin(), FPublished.end(), name) != FPublished.end()) return true;
  const QMetaObject* meta = metaObject();
  const int index = meta->indexOfProperty(std::string(name).c_str());
  return index >= 0 && (meta->property(index).metaType().flags() & QMetaType::PointerToQObject);
}

QObject* TMMComponent::PublishedComponent(std::string_view name) const {
  if (std::find(FPublished.begin(), FPublished.end(), name) != FPublished.end())
    return ReadPublishedComponent(name);
  const QMetaObject* meta = metaObject();
  const int index = meta->indexOfProperty(std::string(name).c_str());
  if (index < 0) return nullptr;
  const QMetaProperty prop = meta->property(index);
  if (!(prop.metaType().flags() & QMetaType::PointerToQObject)) return nullptr;
  return prop.read(this).value<QObject*>();
}
