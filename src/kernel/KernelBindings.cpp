#include <functional>
#include <utility>

#include "kernel/KernelObject.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {
namespace {

std::unique_ptr<TConnection> CreatePlainConnection(std::unique_ptr<TRegistrySettings>& settings,
                                                   std::uint32_t ownerHandle) {
  return std::make_unique<TConnection>(settings, ownerHandle);
}

TConnectionFactory& ConnectionFactory() {
  static TConnectionFactory factory = CreatePlainConnection;
  return factory;
}

}  // namespace

TConnectionFactory SetConnectionFactory(TConnectionFactory factory) {
  if (!factory) factory = CreatePlainConnection;
  return std::exchange(ConnectionFactory(), std::move(factory));
}

void TKernelObject::CompleteConstruction() {
  BindSettingsEvents();
  Connection = ConnectionFactory()(Settings, OwnerHandle);
  BindConnectionEvents();
}

void TKernelObject::BindSettingsEvents() {
  Settings->SetOnCardTypeChanged(std::bind_front(&TKernelObject::HandleCardTypesChanged, this));
  Settings->SetOnATRAssigned(std::bind_front(&TKernelObject::HandleCardTypesChanged, this));
  Settings->SetOnEventLogModeChanged(std::bind_front(&TKernelObject::HandleEventLogModeChanged, this));
  Settings->SetOnSeparateHexBytesChanged(
      std::bind_front(&TKernelObject::HandleSeparateHexBytesChanged, this));
  Settings->SetOnConnectionPreferencesChanged(
      std::bind_front(&TKernelObject::HandleConnectionPreferencesChanged, this));
}

void TKernelObject::BindConnectionEvents() {
  TConnection& c = *Connection;
  c.SetOnError(std::bind_front(&TKernelObject::HandleError, this));
  c.SetOnDriverNotSelected(std::bind_front(&TKernelObject::HandleDriverNotSelected, this));
  c.SetOnDriverSelected(std::bind_front(&TKernelObject::HandleDriverSelected, this));
  c.SetOnBeforeDriverLoading(std::bind_front(&TKernelObject::HandleBeforeDriverLoading, this));
  c.SetOnDriverNotLoaded(std::bind_front(&TKernelObject::HandleDriverNotLoaded, this));
  c.SetOnDriverLoaded(std::bind_front(&TKernelObject::HandleDriverLoaded, this));
  c.SetOnBeforeServiceConnection(std::bind_front(&TKernelObject::HandleBeforeServiceConnection, this));
  c.SetOnServiceNotConnected(std::bind_front(&TKernelObject::HandleServiceNotConnected, this));
  c.SetOnServiceConnected(std::bind_front(&TKernelObject::HandleServiceConnected, this));
  c.SetOnBeforeDevicesList(std::bind_front(&TKernelObject::HandleBeforeDevicesList, this));
  c.SetOnDevicesListChanged(std::bind_front(&TKernelObject::HandleDevicesListChanged, this));
  c.SetOnReaderStateChanged(std::bind_front(&TKernelObject::HandleReaderStateChanged, this));
  c.SetOnBeforeReaderOpening(std::bind_front(&TKernelObject::HandleBeforeReaderOpening, this));
  c.SetOnReaderOpened(std::bind_front(&TKernelObject::HandleReaderOpened, this));
  c.SetOnBeforeReaderClosing(std::bind_front(&TKernelObject::HandleBeforeReaderClosing, this));
  c.SetOnReaderClosed(std::bind_front(&TKernelObject::HandleReaderClosed, this));
  c.SetOnWaitingForCard(std::bind_front(&TKernelObject::HandleWaitingForCard, this));
  c.SetOnCardDetected(std::bind_front(&TKernelObject::HandleCardDetected, this));
  c.SetOnCardInvalid(std::bind_front(&TKernelObject::HandleCardInvalid, this));
  c.SetOnCardReady(std::bind_front(&TKernelObject::HandleCardReady, this));
  c.SetOnCardTypeResolved([](TConnection&, const std::string&, TCardInfo&, TReaderHead&) {});
  c.SetOnBeforeDataSending(std::bind_front(&TKernelObject::HandleBeforeDataSending, this));
  c.SetOnDataSent(std::bind_front(&TKernelObject::HandleDataSent, this));
  c.SetOnBeforeServiceDisconnection(std::bind_front(&TKernelObject::HandleBeforeServiceDisconnection, this));
  c.SetOnServiceDisconnected(std::bind_front(&TKernelObject::HandleServiceDisconnected, this));
  c.SetOnBeforeDriverDisconnection(std::bind_front(&TKernelObject::HandleBeforeDriverDisconnection, this));
  c.SetOnDriverDisconnected(std::bind_front(&TKernelObject::HandleDriverDisconnected, this));
  c.SetOnAuxReport1([](TConnection&, const std::string&, std::int32_t, const std::string&) {});
  c.SetOnAuxReport2([](TConnection&, const std::string&, std::int32_t, const std::string&) {});
  c.SetOnShowMessage(std::bind_front(&TKernelObject::HandleShowMessage, this));
  c.SetOnHideMessage(std::bind_front(&TKernelObject::HandleHideMessage, this));
}

}  // namespace tessaly
