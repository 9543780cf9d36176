#pragma once

#include <memory>
#include <string>

#include "main/activity/ActivityKeyStore.h"
#include "platform/linux/DbusConnection.h"

namespace tovarin {

// The record's keys in the desktop's Secret Service (the login keyring), one item per
// key, spoken to over its D-Bus interface on a connection of our own (so that tests
// and the program each reach the bus they mean). It never prompts: a locked keyring is
// access denied, never unlocked from here.
//
// Items carry the key id and the record's directory as attributes, so that two records
// of one user (another data directory, a test run) never see, or sweep, each other's
// keys. The service's items are only ever added: saving under an id that is taken fails.
// Called from the activity service's queue only.
class SecretServiceKeyStore final : public ActivityKeyStore {
 public:
  static constexpr const char* kSchemaName = "com.orvik.thetovarin.activity";

  // `busAddress`: the session bus to reach the service on; empty: the session's own.
  SecretServiceKeyStore(std::string recordDirectory, std::string busAddress);

  ActivityKeyOutcome<std::optional<SecretBytes>> load(const std::string& id) override;
  ActivityKeyOutcome<ActivityKeyDone> save(const std::string& id, const SecretBytes& key) override;
  ActivityKeyOutcome<ActivityKeyDone> remove(const std::string& id) override;
  ActivityKeyOutcome<std::vector<std::string>> allIds() override;

 private:
  struct Found;
  // The items of this record, with `id` when given; false with `why` set on failure.
  bool find(const std::string* id, Found& found, ActivityKeyError& why);
  // A transfer session ("plain": the bus is the user's own), opened once.
  bool ensureSession(ActivityKeyError& why);

  const std::string recordDirectory_;
  DbusConnection bus_;
  std::string session_;  // object path of the open session, empty until opened
};

}  // namespace tovarin
