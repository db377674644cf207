#include "readers/ReaderTable.h"

#include "templates/_TemplatesObject.h"

namespace tessaly {

std::uint32_t ServiceContext = 0;
TConnectParams OnDetectParams;
std::array<TReaderHead, kReaderCount> ReaderTable;

namespace {

bool IsReaderIndex(int n) {
  return n >= 0 && static_cast<std::size_t>(n) < kReaderCount;
}

}  // namespace

bool HoldsCard(const TReaderHead& reader) {
  return reader.ReaderInUse != 0 && reader.CardInfo.CardState >= csCardDetected;
}

bool HoldsOpenCard(const TReaderHead& reader) {
  return HoldsCard(reader) && reader.CardInfo.CardState >= csCardReady;
}

void SetReaderDetectParams(int n, const TConnectParams& params) {
  if (!IsReaderIndex(n)) return;
  ReaderTable[n].DetectParams = params;
}

void ResetReaderParams(int n) {
  if (!IsReaderIndex(n)) return;
  ReaderTable[n].CurrentParams = ReaderTable[n].DetectParams;
}

void ResetCardData(const std::vector<std::string>& readers, int n) {
  if (!IsReaderIndex(n) || readers.size() <= static_cast<std::size_t>(n)) return;
  TReaderHead& entry = ReaderTable[n];
  TCardInfo& card = entry.CardInfo;
  // The data of a present card stay untouched; the monitor and the card-type load still need them.
  if (card.CardState >= csCardReady) return;

  if (card.InfoList != nullptr) card.InfoList->clear();
  card.ATR.clear();
  card.Preferences.CardTypeName.clear();
  card.Preferences.ATRs.clear();
  // A reader whose card data are cleared falls back to the ISO-7816 base type.
  card.Preferences.BaseType = kIsoBaseType;
  if (entry.Templates != nullptr) entry.Templates->ClearTemplates();
}

}  // namespace tessaly
