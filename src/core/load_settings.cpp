#include "core/load_settings.h"

#include "core/operator_texts.h"
#include "core/settings_reader.h"

namespace quorvel {

void LoadSettings(Relay& relay) {
  SettingsReader reader;
  // A missing file or group only means that every setting keeps its default.
  reader.OpenSettingsFile(texts::kSettingsFile);
  reader.SelectSettingsGroup(texts::kSettingsGroup);

  Settings& settings = relay.settings;
  settings.port = reader.ReadSettingInteger(texts::kPortKey, 1234);

  settings.receiveBufferSize = reader.ReadSettingInteger(texts::kReceiveBufferKey, 64);
  relay.receiveBufferSize = settings.receiveBufferSize;
  // A size of 0 or less gets no buffer; the receive loop grows it later. A
  // positive size whose memory cannot be had must not claim a buffer that is
  // not there, so it counts as no buffer at all.
  if (relay.receiveBufferSize > 0 && !relay.receiveBuffer.Reallocate(relay.receiveBufferSize)) {
    relay.receiveBufferSize = 0;
  }

  settings.sendBufferSize = reader.ReadSettingInteger(texts::kSendBufferKey, 64);
  relay.clientDataBuffer.Reallocate(settings.sendBufferSize);  // 0 or less: no buffer yet

  settings.debugging = static_cast<std::uint8_t>(reader.ReadSettingInteger(texts::kDebuggingKey, 0) & 0xFF);
  // The tree control slows down as it grows and its items are never freed,
  // so a long run in debug mode keeps only the newest entries.
  settings.debugEntries = reader.ReadSettingInteger(texts::kDebugEntriesKey, kDefaultDebugEntries);
  relay.log.KeepNewestEntries(settings.debugEntries > 0 ? static_cast<std::size_t>(settings.debugEntries) : 0);

  reader.CloseSettingsFile();
}

}  // namespace quorvel
