#pragma once

#include <gtest/gtest.h>

#include "readers/ReaderTable.h"

namespace tessaly::test {

// Puts the service context, the on-detect preferences and all ten reader entries back to their zeroed start.
inline void ZeroReaderTable() {
  ServiceContext = 0;
  OnDetectParams = {};
  ReaderTable.fill(TReaderHead{});
}

// Every test starts with a zeroed reader table and leaves one behind, so no entry keeps pointing at a
// list or templates object of a finished test.
class ReaderTableTest : public ::testing::Test {
 protected:
  void SetUp() override { ZeroReaderTable(); }
  void TearDown() override { ZeroReaderTable(); }
};

}  // namespace tessaly::test
