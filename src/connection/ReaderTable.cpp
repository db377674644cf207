#include "connection/ReaderTable.h"

namespace tessaly {

std::uint32_t ServiceContext = 0;
TConnectParams OnDetectParams;
std::array<TReaderHead, kReaderCount> ReaderTable;

namespace {

bool IsReaderIndex(int n) {
  return n >= 0 && static_cast<std::size_t>(n) < kReaderCount;
}

}  // namespace

void SetReaderDetectParams(int n, const TConnectParams& params) {
  if (!IsReaderIndex(n)) return;
  ReaderTable[n].DetectParams = params;
}

void ResetReaderParams(int n) {
  if (!IsReaderIndex(n)) return;
  ReaderTable[n].CurrentParams = ReaderTable[n].DetectParams;
}

}  // namespace tessaly
