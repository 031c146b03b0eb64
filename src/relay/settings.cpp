// The relay's settings: reading "JOX-UDP.ini".

#include "relay/settings.h"

#include "relay/operator_texts.h"
#include "relay/settings_reader.h"

namespace quorvel {

Settings ReadSettings(const char* fileName) {
  SettingsReader reader;
  // A missing file or group only means that every setting keeps its default.
  reader.OpenSettingsFile(fileName);
  reader.SelectSettingsGroup(texts::kSettingsGroup);

  Settings settings;
  settings.port = reader.ReadSettingInteger(texts::kPortKey, settings.port);
  settings.receiveBufferSize = reader.ReadSettingInteger(texts::kReceiveBufferKey, settings.receiveBufferSize);
  settings.sendBufferSize = reader.ReadSettingInteger(texts::kSendBufferKey, settings.sendBufferSize);
  settings.debugging = static_cast<std::uint8_t>(reader.ReadSettingInteger(texts::kDebuggingKey, 0) & 0xFF);
  settings.debugEntries = reader.ReadSettingInteger(texts::kDebugEntriesKey, settings.debugEntries);
  settings.logFile = reader.ReadSettingText(texts::kLogFileKey);
  settings.logFileSizeKb = reader.ReadSettingInteger(texts::kLogFileSizeKey, settings.logFileSizeKb);
  if (settings.logFileSizeKb <= 0) settings.logFileSizeKb = kDefaultLogFileSizeKb;
  settings.trayIcon = reader.ReadSettingInteger(texts::kTrayIconKey, 1) != 0;
  return settings;
}

}  // namespace quorvel
