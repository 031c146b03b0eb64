// What the client SDK builds is read back with the relay's own record
// readers, so that a record a client sends does what it says. The SDK's
// source is compiled here as C++.
#include "../../sdk/quorvel_client.c"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "relay/command_record.h"
#include "quorvel_wire.h"

namespace {

using quorvel::CommandCode;
namespace record_layout = quorvel::record_layout;

TEST(SdkRecords, CreateRecordsReadBackThroughTheRelaysReader) {
  struct Example {
    std::int32_t nameId;
    std::uint32_t window;
    std::string host;
  };
  const Example examples[] = {
      {7, 0x00010ABCu, "10.0.0.5"},
      {-5, 0xFFFF8001u, "partner.example"},  // a handle with its top bit set
      {INT32_MIN, 0u, "a"},
      {INT32_MAX, 0x7FFFFFFFu, std::string(QV_LONGEST_HOST, 'h')},
  };
  for (const Example& example : examples) {
    SCOPED_TRACE(example.host);
    std::vector<std::uint8_t> record(300, 0xAA);
    const std::size_t length =
        qv_build_create_record(record.data(), record.size(), example.nameId, example.window, example.host.c_str());
    ASSERT_EQ(length, record_layout::kHostOffset + example.host.size() + 1);
    ASSERT_EQ(quorvel::CheckCreateRecord(record.data(), static_cast<std::int32_t>(length)),
              quorvel::CreateRecordCheck::Sound);
    EXPECT_EQ(quorvel::ReadCommandCode(record.data()), CommandCode::CreateVirtualServer);
    const quorvel::CreateVirtualServerFields fields = quorvel::ReadCreateRecord(record.data());
    EXPECT_EQ(fields.nameId, example.nameId);
    EXPECT_EQ(fields.clientWindow,
              static_cast<quorvel::WindowHandle>(static_cast<std::int32_t>(example.window)));
    EXPECT_EQ(std::string(fields.host, static_cast<std::size_t>(fields.hostLength)), example.host);
  }
}

TEST(SdkRecords, CreateRecordsThatCannotTravelAreNotBuilt) {
  std::vector<std::uint8_t> record(600, 0);
  EXPECT_EQ(qv_build_create_record(record.data(), record.size(), 1, 2, ""), 0u);
  EXPECT_EQ(qv_build_create_record(record.data(), record.size(), 1, 2, nullptr), 0u);
  const std::string tooLong(QV_LONGEST_HOST + 1, 'h');
  EXPECT_EQ(qv_build_create_record(record.data(), record.size(), 1, 2, tooLong.c_str()), 0u);
  // The record needs the host's zero byte: one byte less does not fit.
  const std::size_t exact = record_layout::kHostOffset + 4 + 1;
  EXPECT_EQ(qv_build_create_record(record.data(), exact - 1, 1, 2, "host"), 0u);
  EXPECT_EQ(qv_build_create_record(record.data(), exact, 1, 2, "host"), exact);
}

TEST(SdkRecords, TextRecordsCarryEveryByteUpToOneDatagram) {
  static_assert(QV_RECORD_SLOT_SIZE - QV_RECORD_TAG_SIZE >= static_cast<unsigned>(record_layout::kLongestUsefulRecord));
  std::vector<std::uint8_t> text(QV_LONGEST_TEXT + 1);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> record(QV_LONGEST_TEXT + 2);

  const std::size_t longest = qv_build_text_record(record.data(), record.size(), text.data(), QV_LONGEST_TEXT);
  ASSERT_EQ(longest, static_cast<std::size_t>(record_layout::kLongestUsefulRecord));
  EXPECT_EQ(quorvel::ReadCommandCode(record.data()), CommandCode::SendText);
  EXPECT_TRUE(std::equal(text.begin(), text.begin() + QV_LONGEST_TEXT, record.begin() + record_layout::kTextOffset));

  EXPECT_EQ(qv_build_text_record(record.data(), record.size(), text.data(), QV_LONGEST_TEXT + 1), 0u);
  EXPECT_EQ(qv_build_text_record(record.data(), 3, "abc", 3), 0u);

  const std::size_t empty = qv_build_text_record(record.data(), record.size(), nullptr, 0);
  ASSERT_EQ(empty, 1u);
  EXPECT_EQ(quorvel::ReadCommandCode(record.data()), CommandCode::SendText);
}

TEST(SdkRecords, LoginAndQuitRecordsReadBackAsTheirCommands) {
  std::uint8_t record[1] = {0xEE};
  ASSERT_EQ(qv_build_login_record(record, sizeof record), 1u);
  EXPECT_EQ(quorvel::ReadCommandCode(record), CommandCode::SendLogin);
  ASSERT_EQ(qv_build_quit_record(record, sizeof record), 1u);
  EXPECT_EQ(quorvel::ReadCommandCode(record), CommandCode::Quit);
  EXPECT_EQ(qv_build_quit_record(record, 0), 0u);
}

TEST(SdkRecords, ReportsRecordsReadBackWithTheirSwitchAndNumber) {
  std::uint8_t record[QV_REPORTS_RECORD_LENGTH] = {};
  ASSERT_EQ(qv_build_reports_record(record, sizeof record, 2, 0xFFFFFFFEu), sizeof record);
  EXPECT_EQ(quorvel::ReadCommandCode(record), CommandCode::Reports);
  EXPECT_TRUE(quorvel::ReadReportsRecord(record).on);
  EXPECT_EQ(quorvel::ReadReportsRecord(record).lastTextNumber, 0xFFFFFFFEu);
  ASSERT_EQ(qv_build_reports_record(record, sizeof record, 0, 3), sizeof record);
  EXPECT_FALSE(quorvel::ReadReportsRecord(record).on);
  EXPECT_EQ(qv_build_reports_record(record, sizeof record - 1, 1, 3), 0u);
}

// Two client processes must never both commit memory at one record address,
// or the relay may run one's records for the other. Blocks are 64 KiB apart,
// so distinct block addresses never overlap.
TEST(SdkRecordSlots, ProcessesGetBlocksOfTheirOwnInsideTheRange) {
  struct Width {
    unsigned bits;
    unsigned candidates;
    std::uint64_t lowest;
    std::uint64_t end;
    std::uint32_t uniqueBelow;  // process ids below this never share a block
    std::uint32_t sampleStep;
  };
  const Width widths[] = {
      {64, 4, 0x40000000000ull, 0x80000000000ull, 1u << 26, 4 * 997},
      {32, 3, 0x10000000ull, 0x70000000ull, 32768, 8},
  };
  for (const Width& width : widths) {
    SCOPED_TRACE(width.bits);
    std::set<std::uint64_t> taken;
    std::size_t handedOut = 0;
    for (std::uint64_t id = 0; id < width.uniqueBelow; id += width.sampleStep) {
      for (std::uint32_t nearby : {0u, 4u}) {  // neighbouring ids, which are common
        const auto processId = static_cast<std::uint32_t>(id + nearby);
        if (processId >= width.uniqueBelow) continue;
        for (unsigned candidate = 0; candidate < width.candidates; ++candidate) {
          const std::uint64_t address = qv_record_slot_address(processId, candidate, width.bits);
          ASSERT_EQ(address % QV_RECORD_SLOT_SIZE, 0u) << processId;
          ASSERT_GE(address, width.lowest) << processId;
          ASSERT_LE(address + QV_RECORD_SLOT_SIZE, width.end) << processId;
          taken.insert(address);
          ++handedOut;
        }
        EXPECT_EQ(qv_record_slot_address(processId, width.candidates, width.bits), 0u) << processId;
      }
    }
    EXPECT_EQ(taken.size(), handedOut) << "two processes, or two candidates, share a block";
  }
  // The highest process id Windows can issue still stays inside the range.
  EXPECT_LE(qv_record_slot_address(UINT32_MAX, 3, 64) + QV_RECORD_SLOT_SIZE, 0x80000000000ull);
  EXPECT_LE(qv_record_slot_address(UINT32_MAX, 2, 32) + QV_RECORD_SLOT_SIZE, 0x70000000ull);
}

}  // namespace
