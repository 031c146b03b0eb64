// The chat window: Unicode controls, laid out for the window's DPI; texts
// travel as Windows-1252 bytes, and one that does not fit is not sent.
#include "chat_window.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "chat_texts.h"
#include "conversation_line.h"
#include "host_lookup.h"
#include "quorvel_client.h"
#include "remembered_partner.h"
#include "windows_1252.h"

namespace chat {
namespace {

// The state of the one chat window.
struct Chat {
  HWND window = nullptr;
  qv_client client{};
  bool linkedUp = false;  // set by the relay's link-up during a create
  bool paired = false;    // create and login taken by the relay
  bool heardPartner = false;  // a text from the partner has arrived since
  RememberedPartner partner;  // of the current pairing
  UINT dpi = 96;
  HFONT font = nullptr;  // made for `dpi`
  // The own lines the relay may still report on, by text number: their time
  // and beginning, as the mark names them.
  std::map<std::uint32_t, std::string> ownLines;
};

// Beyond this many, the oldest own lines are no longer marked.
constexpr std::size_t kMostMarkedLines = 200;
// How much of an own line a mark repeats.
constexpr std::size_t kMarkedBeginning = 30;

Chat chat;

HWND Control(int id) { return GetDlgItem(chat.window, id); }

// Windows-1252 bytes for a control.
std::wstring Wide(std::string_view bytes) {
  const std::u16string text = FromWindows1252(bytes);
  return std::wstring(text.begin(), text.end());
}

std::wstring ControlText(int id) {
  HWND control = Control(id);
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int copied = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

Encoded1252 ControlText1252(int id) {
  const std::wstring text = ControlText(id);
  return ToWindows1252(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void ShowStatus(const std::string& text) { SetWindowTextW(Control(kStatusText), Wide(text).c_str()); }

// Names the characters that keep a text from being sent, the first few of
// them, each as itself and by its code point.
void ShowUnrepresentable(const std::vector<char32_t>& characters) {
  constexpr std::size_t kNamed = 6;
  std::wstring status = Wide(texts::kUnrepresentable);
  for (std::size_t index = 0; index < characters.size() && index < kNamed; ++index) {
    const char32_t character = characters[index];
    if (index > 0) status += L", ";
    if (character >= 0x10000 && character <= 0x10FFFF) {
      status += static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
      status += static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
    } else if (character < 0xD800 || character > 0xDFFF) {
      status += static_cast<wchar_t>(character);
    }
    status += L" (" + Wide(CodePointName(character)) + L")";
  }
  if (characters.size() > kNamed) status += Wide(texts::kMoreUnrepresentable);
  status += L".";
  SetWindowTextW(Control(kStatusText), status.c_str());
}

void ShowFailure(qv_status status) {
  switch (status) {
    case QV_ERROR_NO_RELAY:
      chat.paired = false;
      return ShowStatus(texts::kRelayMissing);
    case QV_ERROR_TEXT_TOO_LONG:
      return ShowStatus(texts::kTextTooLong);
    case QV_ERROR_BAD_HOST:
      return ShowStatus(texts::kBadHost);
    case QV_ERROR_NO_MEMORY:
    case QV_ERROR_NO_RECORD_SLOT:
      return ShowStatus(texts::kNoMemory);
    default:
      return ShowStatus(texts::kNotAccepted);
  }
}

// The conversation box keeps the newest entries only: beyond this many
// characters the oldest half goes, so that neither the memory nor the
// control's own work grows with a long conversation.
constexpr std::size_t kMostConversation = 512 * 1024;

void AppendToConversation(const std::string& line) {
  HWND conversation = Control(kConversation);
  const std::wstring shown = Wide(line);
  auto length = static_cast<std::size_t>(GetWindowTextLengthW(conversation));
  if (length + shown.size() > kMostConversation) {
    // Cut after a whole line, so that no entry starts halfway.
    const std::wstring all = ControlText(kConversation);
    const std::size_t cut = all.find(L"\r\n", all.size() / 2);
    if (cut != std::wstring::npos) {
      SendMessageW(conversation, EM_SETSEL, 0, static_cast<LPARAM>(cut + 2));
      SendMessageW(conversation, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
      length -= cut + 2;
    }
  }
  SendMessageW(conversation, EM_SETSEL, length, static_cast<LPARAM>(length));
  SendMessageW(conversation, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown.c_str()));
}

std::string PartnerDescription() {
  return chat.partner.host + texts::kConnectedName + std::to_string(chat.partner.nameId);
}

// The local time of day that begins each conversation line.
std::string TimeStamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[16];
  wsprintfA(stamp, "%02u:%02u:%02u ", now.wHour, now.wMinute, now.wSecond);
  return stamp;
}

// What the pairing has come to: paired, or connected once the partner was heard.
void ShowPairing() {
  if (chat.heardPartner) return ShowStatus(texts::kConnectedBefore + PartnerDescription() + ".");
  ShowStatus(texts::kPairedBefore + PartnerDescription() + texts::kPairedAfter);
}

void OnText(void*, const char* text, std::size_t length) {
  AppendToConversation(ConversationLine((TimeStamp() + texts::kPartnerLine).c_str(), text, length));
  if (chat.paired && !chat.heardPartner) {
    chat.heardPartner = true;
    ShowPairing();
  }
}

void OnLinkUp(void*, DWORD) { chat.linkedUp = true; }

void OnLostText(void*, std::size_t) { ShowStatus(texts::kTextLost); }

// The relay's word on an own text that the partner's relay did not take at
// once: a mark under the conversation that names the line.
void OnReport(void*, int report, std::uint32_t textNumber) {
  const auto line = chat.ownLines.find(textNumber);
  if (line == chat.ownLines.end()) return;
  const char* mark = report == QV_REPORT_WAITING      ? texts::kMarkWaiting
                     : report == QV_REPORT_SENT_LATER ? texts::kMarkSentLater
                                                      : texts::kMarkNotDelivered;
  const std::string text = "\"" + line->second + "\"" + mark;
  AppendToConversation(ConversationLine((TimeStamp() + texts::kMarkLine).c_str(), text.data(), text.size()));
  if (report != QV_REPORT_WAITING) chat.ownLines.erase(line);
}

std::string Trimmed(const Encoded1252& text) { return Trimmed(text.bytes); }

bool ParseNameId(const std::string& text, std::int32_t& nameId) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  nameId = static_cast<std::int32_t>(value);
  return true;
}

// Create, then login. The host is looked up here first, as the relay would:
// one the relay cannot resolve would stop it behind its own error box.
void Connect() {
  chat.paired = false;
  chat.heardPartner = false;
  const Encoded1252 hostText = ControlText1252(kHostEdit);
  if (!hostText.unrepresentable.empty()) return ShowUnrepresentable(hostText.unrepresentable);
  const std::string host = Trimmed(hostText);
  std::int32_t nameId = 0;
  if (host.empty()) return ShowStatus(texts::kEnterHost);
  if (!ParseNameId(Trimmed(ControlText1252(kNameEdit)), nameId)) return ShowStatus(texts::kBadName);

  qv_status status = qv_connect(&chat.client);
  if (status == QV_ERROR_NOT_ACCEPTED) return ShowStatus(texts::kRelayRefused);
  if (status != QV_OK) return ShowFailure(status);

  if (!HostCanBeFound(host)) return ShowStatus(texts::kHostNotFoundBefore + host + texts::kHostNotFoundAfter);
  chat.linkedUp = false;
  status = qv_create(&chat.client, nameId, host.c_str());
  // The reports mark own lines that wait; a relay without them sends none.
  if (status == QV_OK) status = qv_request_reports(&chat.client, 1);
  if (status != QV_OK) return ShowFailure(status);
  if (!chat.linkedUp) return ShowStatus(texts::kNoLinkUp);

  chat.partner = RememberedPartner{host, nameId};
  RememberPartner(chat.partner);
  status = qv_login(&chat.client);
  if (status != QV_OK) return ShowFailure(status);
  chat.paired = true;
  ShowPairing();
}

void Send() {
  const Encoded1252 encoded = ControlText1252(kInputEdit);
  // Nothing is substituted: the user learns what cannot be sent.
  if (!encoded.unrepresentable.empty()) return ShowUnrepresentable(encoded.unrepresentable);
  const std::string& text = encoded.bytes;
  if (text.empty()) return;
  if (!chat.paired) return ShowStatus(texts::kNotConnected);
  // The partner's relay takes a login only once the partner has linked
  // too, and nobody learns whether it did; so each text follows a login of
  // its own (a repeated one is only answered "already logged in"), and the
  // side that connected first is not left unheard.
  qv_status status = qv_login(&chat.client);
  if (status == QV_OK) status = qv_send_text(&chat.client, text.data(), text.size());
  if (status != QV_OK) return ShowFailure(status);
  const std::string prefix = TimeStamp() + texts::kOwnLine;
  chat.ownLines[chat.client.texts_sent] = prefix + text.substr(0, kMarkedBeginning);
  if (chat.ownLines.size() > kMostMarkedLines) chat.ownLines.erase(chat.ownLines.begin());
  AppendToConversation(ConversationLine(prefix.c_str(), text.data(), text.size()));
  SetWindowTextW(Control(kInputEdit), L"");
  ShowPairing();  // in place of a refusal or a warning shown before
}

HWND AddControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int id) {
  return CreateWindowExW(std::wstring_view(className) == L"EDIT" ? WS_EX_CLIENTEDGE : 0, className,
                         Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

constexpr int kHostLabel = 110;
constexpr int kNameLabel = 111;
constexpr int kControls[] = {kHostLabel, kHostEdit,  kNameLabel,  kNameEdit, kConnectButton,
                             kConversation, kInputEdit, kSendButton, kStatusText};

void CreateControls(HWND window) {
  AddControl(window, L"STATIC", texts::kHostLabel, 0, kHostLabel);
  AddControl(window, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kHostEdit);
  AddControl(window, L"STATIC", texts::kNameLabel, 0, kNameLabel);
  AddControl(window, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kNameEdit);
  AddControl(window, L"BUTTON", texts::kConnect, WS_TABSTOP | BS_PUSHBUTTON, kConnectButton);
  HWND conversation = AddControl(window, L"EDIT", "",
                                 WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kConversation);
  SendMessageW(conversation, EM_SETLIMITTEXT, 0, 0);
  HWND input = AddControl(window, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kInputEdit);
  // One character is one byte of Windows-1252: the input holds what one
  // text can carry, and says so when a paste would not fit (EN_MAXTEXT).
  SendMessageW(input, EM_SETLIMITTEXT, QV_LONGEST_TEXT, 0);
  AddControl(window, L"BUTTON", texts::kSend, WS_TABSTOP | BS_DEFPUSHBUTTON, kSendButton);
  AddControl(window, L"STATIC", texts::kReady, SS_LEFTNOWORDWRAP, kStatusText);
  if (const auto partner = LoadRememberedPartner()) {
    SetWindowTextW(GetDlgItem(window, kHostEdit), Wide(partner->host).c_str());
    SetWindowTextW(GetDlgItem(window, kNameEdit), std::to_wstring(partner->nameId).c_str());
  }
}

// The window's DPI: its monitor's where Windows says (10 and later), else
// the system's.
UINT DpiOf(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// A length in pixels at 96 DPI, for the window's DPI.
int Scaled(int pixels) { return MulDiv(pixels, static_cast<int>(chat.dpi), 96); }

// The system's message font, sized for the window's DPI, on every control.
void UseFontFor(UINT dpi) {
  chat.dpi = dpi;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW font{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE) {
    font = metrics.lfMessageFont;
    // Given for the system's DPI.
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(DpiOf(nullptr)));
  } else {
    font.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    font.lfCharSet = DEFAULT_CHARSET;
  }
  HFONT made = CreateFontIndirectW(&font);
  if (made == nullptr) return;
  for (const int id : kControls) SendMessageW(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(made), FALSE);
  if (chat.font != nullptr) DeleteObject(chat.font);
  chat.font = made;
}

// How wide a control's text is in the current font.
int TextWidth(int id) {
  const std::wstring text = ControlText(id);
  HDC dc = GetDC(chat.window);
  HGDIOBJ previous = SelectObject(dc, chat.font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, previous);
  ReleaseDC(chat.window, dc);
  return size.cx;
}

int FontHeight() {
  HDC dc = GetDC(chat.window);
  HGDIOBJ previous = SelectObject(dc, chat.font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(chat.window, dc);
  return metrics.tmHeight;
}

void Place(int id, int x, int y, int width, int height) {
  MoveWindow(Control(id), x, y, width > 1 ? width : 1, height > 1 ? height : 1, TRUE);
}

// Top row: partner host, name number, Connect; then the conversation, which
// takes what room there is; then the input line with Send; the status line
// at the bottom. Sizes follow the font and the DPI, labels their text.
void LayOut(int width, int height) {
  const int margin = Scaled(8);
  const int row = FontHeight() + Scaled(10);
  const int button = (std::max)(TextWidth(kConnectButton), TextWidth(kSendButton)) + Scaled(24);
  const int hostLabel = TextWidth(kHostLabel) + Scaled(6);
  const int nameLabel = TextWidth(kNameLabel) + Scaled(6);
  const int name = Scaled(70);
  const int inner = width - 2 * margin;
  const int labelY = margin + (row - FontHeight()) / 2;
  const int connectX = width - margin - button;
  const int nameX = connectX - margin - name;
  const int nameLabelX = nameX - nameLabel;
  Place(kHostLabel, margin, labelY, hostLabel, FontHeight());
  Place(kHostEdit, margin + hostLabel, margin, nameLabelX - margin - (margin + hostLabel), row);
  Place(kNameLabel, nameLabelX, labelY, nameLabel, FontHeight());
  Place(kNameEdit, nameX, margin, name, row);
  Place(kConnectButton, connectX, margin, button, row);
  const int statusHeight = FontHeight() + Scaled(4);
  const int statusY = height - margin - statusHeight;
  const int inputY = statusY - margin - row;
  const int conversationY = margin + row + margin;
  Place(kConversation, margin, conversationY, inner, inputY - margin - conversationY);
  Place(kInputEdit, margin, inputY, inner - button - margin, row);
  Place(kSendButton, width - margin - button, inputY, button, row);
  Place(kStatusText, margin, statusY, inner, statusHeight);
}

void LayOutClientArea() {
  RECT client{};
  GetClientRect(chat.window, &client);
  LayOut(client.right, client.bottom);
}

LRESULT CALLBACK ChatProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (qv_handle_message(&chat.client, message, wParam, lParam, &result)) return result;
  switch (message) {
    case WM_CREATE:
      chat.window = window;
      qv_client_init(&chat.client, window, OnText, nullptr);
      chat.client.on_link_up = OnLinkUp;
      chat.client.on_lost_text = OnLostText;
      chat.client.on_report = OnReport;
      CreateControls(window);
      UseFontFor(DpiOf(window));
      LayOutClientArea();
      return 0;
    case WM_SIZE:
      LayOut(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI: the font, then the size Windows
      // suggests, which lays the controls out anew.
      UseFontFor(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      LayOutClientArea();
      return 0;
    }
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize.x = Scaled(520);
      limits->ptMinTrackSize.y = Scaled(240);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kInputEdit && HIWORD(wParam) == EN_MAXTEXT) {
        ShowStatus(texts::kInputFull);
        return 0;
      }
      if (HIWORD(wParam) == BN_CLICKED || LOWORD(wParam) == IDOK) {
        // Enter in the input line arrives as IDOK.
        if (LOWORD(wParam) == kConnectButton) Connect();
        if (LOWORD(wParam) == kSendButton || LOWORD(wParam) == IDOK) Send();
        return 0;
      }
      break;
    case WM_DESTROY:
      qv_client_close(&chat.client);
      if (chat.font != nullptr) DeleteObject(chat.font);
      chat.font = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateChatWindow(HINSTANCE instance, int show) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = ChatProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW, which is ANSI without UNICODE
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kChatWindowClass;
  // The programs' icon, big for Alt+Tab and small for the title bar.
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  if (RegisterClassExW(&windowClass) == 0) return nullptr;
  // 640 x 420 at 96 DPI, as large at the screen's DPI; the controls follow
  // the window's own DPI once it exists.
  chat.dpi = DpiOf(nullptr);
  HWND window = CreateWindowExW(0, kChatWindowClass, Wide(texts::kTitle).c_str(), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, Scaled(640), Scaled(420), nullptr, nullptr,
                                instance, nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, show);
  UpdateWindow(window);
  return window;
}

}  // namespace chat
