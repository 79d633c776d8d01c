// The component framework under the chain: ownership through the QObject
// parent, a component state, the loading step, removal notices and component
// properties that can be looked up by name.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using TNotifyEvent = std::function<void(QObject* Sender)>;

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csDestroying = 1u << 2,
  csDesigning = 1u << 3,
};
enum class TOperation { opInsert, opRemove };

// The component framework: ownership through the QObject parent (the owner
// deletes the components it owns when it goes), a component state, the
// loading step, removal notices and published component properties that can
// be looked up by name.
class TMMComponent : public QObject {
  Q_OBJECT
 public:
  explicit TMMComponent(QObject* AOwner = nullptr);
  ~TMMComponent() override;

  QObject* Owner() const { return parent(); }
  unsigned ComponentState() const { return FComponentState; }
  bool InState(unsigned flags) const { return (FComponentState & flags) != 0; }

  // Loading from a stored description: between the two calls the component
  // is loading and reading; EndLoading clears both and calls Loaded once.
  void BeginLoading();
  void EndLoading();
  // Marks the component as being destroyed. Destructors of subclasses whose
  // overrides must not act while the object goes call it first; the base
  // destructors call it anyway.
  void Destroying() { FComponentState |= csDestroying; }
  virtual void SetDesigning(bool value);

  // True when the component publishes a component property of this name.
  virtual bool HasPublishedProperty(std::string_view name) const;
  // The current value of the published component property `name`, or nullptr
  // (also when there is no such property). Looks at the names published with
  // PublishComponentProperty and then at Qt properties holding a QObject
  // pointer, so subclasses may use either.
  virtual QObject* PublishedComponent(std::string_view name) const;

 protected:
  // Called by EndLoading.
  virtual void Loaded() {}
  // Removal notice: `AComponent` is being destroyed (opRemove). Components
  // that keep references to others clear them here.
  virtual void Notification(TMMComponent* AComponent, TOperation Operation);
  // Publishes a component property served by ReadPublishedComponent.
  void PublishComponentProperty(std::string name);
  // Value of a name published with PublishComponentProperty.
  virtual QObject* ReadPublishedComponent(std::string_view name) const;

 private:
  unsigned FComponentState = 0;
  std::vector<std::string> FPublished;
};
