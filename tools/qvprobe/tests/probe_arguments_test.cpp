#include "probe_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quorvel::probe {
namespace {

struct Parsed {
  bool ok;
  ProbeArguments arguments;
  std::string problem;
};

Parsed Parse(const std::vector<const char*>& list) {
  Parsed parsed{false, {}, {}};
  parsed.ok = ParseProbeArguments(static_cast<int>(list.size()), list.data(), parsed.arguments, parsed.problem);
  return parsed;
}

TEST(ParseProbeArguments, HostAloneTakesTheDefaults) {
  const Parsed parsed = Parse({"relay.example"});
  ASSERT_TRUE(parsed.ok) << parsed.problem;
  EXPECT_EQ(parsed.arguments.host, "relay.example");
  EXPECT_EQ(parsed.arguments.port, 1234);
  EXPECT_EQ(parsed.arguments.timeoutMilliseconds, 3000);
  EXPECT_FALSE(parsed.arguments.helpWanted);
}

TEST(ParseProbeArguments, OptionsBeforeOrAfterTheHost) {
  const Parsed after = Parse({"10.0.0.2", "--port", "4000", "--timeout", "250"});
  ASSERT_TRUE(after.ok) << after.problem;
  EXPECT_EQ(after.arguments.host, "10.0.0.2");
  EXPECT_EQ(after.arguments.port, 4000);
  EXPECT_EQ(after.arguments.timeoutMilliseconds, 250);

  const Parsed before = Parse({"--timeout", "1", "--port", "65535", "h"});
  ASSERT_TRUE(before.ok) << before.problem;
  EXPECT_EQ(before.arguments.host, "h");
  EXPECT_EQ(before.arguments.port, 65535);
  EXPECT_EQ(before.arguments.timeoutMilliseconds, 1);

  EXPECT_TRUE(Parse({"--help"}).arguments.helpWanted);
  EXPECT_TRUE(Parse({"h", "-h"}).arguments.helpWanted);
}

TEST(ParseProbeArguments, RefusesWhatItCannotUse) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> wrong = {
      {{}, "HOST is missing"},
      {{"--port", "4000"}, "HOST is missing"},
      {{"a", "b"}, "only one HOST, please ('a' and 'b')"},
      {{"h", "--port"}, "--port needs a value"},
      {{"h", "--port", "0"}, "--port takes a number from 1 to 65535, not '0'"},
      {{"h", "--port", "65536"}, "--port takes a number from 1 to 65535, not '65536'"},
      {{"h", "--port", "12x"}, "--port takes a number from 1 to 65535, not '12x'"},
      {{"h", "--port", "-5"}, "--port takes a number from 1 to 65535, not '-5'"},
      {{"h", "--timeout", "0"}, "--timeout takes milliseconds from 1 to 600000, not '0'"},
      {{"h", "--timeout", "99999999999999999999"},
       "--timeout takes milliseconds from 1 to 600000, not '99999999999999999999'"},
      {{"h", "--verbose"}, "unknown option '--verbose'"},
      {{""}, "HOST is empty"},
  };
  for (const auto& [words, problem] : wrong) {
    const Parsed parsed = Parse(words);
    EXPECT_FALSE(parsed.ok) << problem;
    EXPECT_EQ(parsed.problem, problem);
  }
}

}  // namespace
}  // namespace quorvel::probe
