// settext HWND (HEX | --file PATH) [--id N] [--utf8] [--paste] [--timeout MS]  -> "result=<signed decimal>"
// The text comes as hexadecimal, so that any Windows-1252 bytes pass the
// command line unchanged, or as the bytes of a file (a command line holds
// at most 32767 characters); with --utf8 the bytes are UTF-8, sent as Unicode
// (a Unicode window then gets the characters themselves). --paste replaces
// the selection (EM_REPLACESEL), as a paste does: an edit control's limit
// holds for it, not for WM_SETTEXT.
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "control_target.h"
#include "output.h"

namespace qvtest {
namespace {

std::optional<std::string> FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
      return std::nullopt;
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::optional<std::string> FromFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

int RunSetText(const CommandLine& args) {
  const auto file = args.Option("file");
  if (args.PositionalCount() != (file ? 1U : 2U)) return kUsage;
  auto text = file ? FromFile(*file) : FromHex(args.Positional(1));
  if (!text) return kUsage;
  auto window = ControlTarget(args);
  if (!window) return kNotFound;
  const UINT message = args.Flag("paste") ? EM_REPLACESEL : WM_SETTEXT;
  const WPARAM undoable = args.Flag("paste") ? TRUE : 0;
  DWORD_PTR result = 0;
  LRESULT sent = 0;
  if (args.Flag("utf8")) {
    std::wstring wide(text->size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text->data(), static_cast<int>(text->size()), wide.data(),
                                           static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    sent = SendMessageTimeoutW(*window, message, undoable, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_NORMAL,
                               args.TimeoutMs(10000), &result);
  } else {
    sent = SendMessageTimeoutA(*window, message, undoable, reinterpret_cast<LPARAM>(text->c_str()), SMTO_NORMAL,
                               args.TimeoutMs(10000), &result);
  }
  if (!sent) {
    WriteLine("error=" + std::to_string(GetLastError()));
    return kFailed;
  }
  WriteLine("result=" + std::to_string(static_cast<long long>(result)));
  return kOk;
}

}  // namespace qvtest
