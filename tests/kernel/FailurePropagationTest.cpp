#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "KernelEventsFixture.h"
#include "ReaderTableFixture.h"
#include "platform/TessalyError.h"

namespace tessaly::test {
namespace {

// One outgoing subscriber that fails, the device-layer step that makes the kernel raise it, and whether
// the failure reaches that step.
struct PropagationRow {
  std::string subscriber;
  std::function<void(TSimulatedDevice&)> step;
  bool reachesCaller;
};

// Makes the named outgoing event of the kernel fail, counting its calls.
void MakeFail(TKernelObject& kernel, const std::string& subscriber, int& calls) {
  const auto fail = [&calls] {
    ++calls;
    throw ETessalyError("subscriber failed");
  };
  if (subscriber == "OnLog") kernel.OnLog = [fail](auto...) { fail(); };
  if (subscriber == "OnError") kernel.OnError = [fail](auto&&...) { fail(); };
  if (subscriber == "OnConnectionDown") kernel.OnConnectionDown = fail;
  if (subscriber == "OnServiceConnected") kernel.OnServiceConnected = fail;
  if (subscriber == "OnDevicesListChanged") kernel.OnDevicesListChanged = [fail](auto&, auto) { fail(); };
  if (subscriber == "OnReaderStateChanged") kernel.OnReaderStateChanged = [fail](auto&&...) { fail(); };
  if (subscriber == "OnCardStateChanged") kernel.OnCardStateChanged = [fail](auto&, auto) { fail(); };
  if (subscriber == "OnWaitingForCard") kernel.OnWaitingForCard = [fail](auto&&...) { fail(); };
  if (subscriber == "OnCardDetected") kernel.OnCardDetected = [fail](auto&&...) { fail(); };
  if (subscriber == "OnCardInvalid") kernel.OnCardInvalid = [fail](auto&&...) { fail(); };
  if (subscriber == "OnCardReady") kernel.OnCardReady = [fail](auto&&...) { fail(); };
  if (subscriber == "OnDataSent") kernel.OnDataSent = [fail](auto&&...) { fail(); };
  if (subscriber == "OnShowMessage") kernel.OnShowMessage = [fail](auto&) { fail(); };
  if (subscriber == "OnHideMessage") kernel.OnHideMessage = fail;
}

void OpenSession(TSimulatedDevice& device) {
  device.StartSession({"Reader 0"});
}

TEST(KernelFailurePropagation, SubscriberFailuresAreSwallowedOrReachTheDeviceLayerAsListed) {
  const PropagationRow rows[] = {
      {"OnLog", [](TSimulatedDevice& d) { d.ReportError("", 1, "x"); }, false},
      {"OnLog", [](TSimulatedDevice& d) { OpenSession(d); }, false},
      {"OnError", [](TSimulatedDevice& d) { d.ReportError("", 1, "x"); }, true},
      {"OnConnectionDown", [](TSimulatedDevice& d) { d.SelectDriver(0); }, true},
      {"OnConnectionDown", [](TSimulatedDevice& d) { d.LoadDriver(false); }, true},
      {"OnConnectionDown", [](TSimulatedDevice& d) { d.ConnectService(false); }, false},
      {"OnConnectionDown",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.DisconnectService();
       },
       false},
      {"OnConnectionDown", [](TSimulatedDevice& d) { d.UnloadDriver(); }, true},
      {"OnServiceConnected", [](TSimulatedDevice& d) { d.ConnectService(); }, true},
      {"OnDevicesListChanged", [](TSimulatedDevice& d) { OpenSession(d); }, false},
      {"OnReaderStateChanged",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.RemoveCard(0);
       },
       true},
      {"OnCardStateChanged",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.InsertCard(0, "3B 00");
         d.RemoveCard(0);
       },
       false},
      {"OnCardStateChanged",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.InsertInvalidCard(0);
       },
       true},
      {"OnCardStateChanged", [](TSimulatedDevice& d) { d.DisconnectService(); }, true},
      {"OnWaitingForCard",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.RemoveCard(0);
       },
       false},
      {"OnCardDetected",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.InsertCard(0, "3B 00");
       },
       false},
      {"OnCardReady",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.InsertCard(0, "3B 00");
       },
       false},
      {"OnCardInvalid",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.InsertInvalidCard(0);
       },
       true},
      {"OnDataSent",
       [](TSimulatedDevice& d) {
         OpenSession(d);
         d.Exchange(0, "00", "90 00");
       },
       true},
      {"OnShowMessage", [](TSimulatedDevice& d) { d.ShowMessage("x"); }, true},
      {"OnHideMessage",
       [](TSimulatedDevice& d) {
         d.ShowMessage("x");
         d.HideMessage();
       },
       true},
  };

  ScratchHive hive;
  for (const PropagationRow& row : rows) {
    ZeroReaderTable();
    TKernelObject kernel(0, OpenerOf(hive));
    int calls = 0;
    MakeFail(kernel, row.subscriber, calls);
    TSimulatedDevice device(*kernel.Connection);
    if (row.reachesCaller) {
      EXPECT_THROW(row.step(device), ETessalyError) << row.subscriber;
    } else {
      EXPECT_NO_THROW(row.step(device)) << row.subscriber;
    }
    EXPECT_GT(calls, 0) << row.subscriber;
  }
  ZeroReaderTable();
}

}  // namespace
}  // namespace tessaly::test
