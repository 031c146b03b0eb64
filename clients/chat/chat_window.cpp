#include "chat_window.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chat_texts.h"
#include "conversation_line.h"
#include "host_lookup.h"
#include "quorvel_client.h"
#include "remembered_partner.h"

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
};

Chat chat;

HWND Control(int id) { return GetDlgItem(chat.window, id); }

std::string ControlText(int id) {
  HWND control = Control(id);
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
  const int copied = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void ShowStatus(const std::string& text) { SetWindowTextA(Control(kStatusText), text.c_str()); }

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

void AppendToConversation(const std::string& line) {
  HWND conversation = Control(kConversation);
  const auto end = static_cast<WPARAM>(GetWindowTextLengthA(conversation));
  SendMessageA(conversation, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageA(conversation, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
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

void OnText(void*, const char* text, std::size_t length) {
  AppendToConversation(ConversationLine((TimeStamp() + texts::kPartnerLine).c_str(), text, length));
  if (chat.paired && !chat.heardPartner) {
    chat.heardPartner = true;
    ShowStatus(texts::kConnectedBefore + PartnerDescription() + ".");
  }
}

void OnLinkUp(void*, DWORD) { chat.linkedUp = true; }

void OnLostText(void*, std::size_t) { ShowStatus(texts::kTextLost); }

bool ParseNameId(const std::string& text, std::int32_t& nameId) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  nameId = static_cast<std::int32_t>(value);
  return true;
}

// Create, then login. A host the relay cannot resolve is shown by the relay
// in its own box; this window says so too and does not log in.
void Connect() {
  chat.paired = false;
  chat.heardPartner = false;
  const std::string host = Trimmed(ControlText(kHostEdit));
  std::int32_t nameId = 0;
  if (host.empty()) return ShowStatus(texts::kEnterHost);
  if (!ParseNameId(Trimmed(ControlText(kNameEdit)), nameId)) return ShowStatus(texts::kBadName);

  qv_status status = qv_connect(&chat.client);
  if (status == QV_ERROR_NOT_ACCEPTED) return ShowStatus(texts::kRelayRefused);
  if (status != QV_OK) return ShowFailure(status);

  const bool hostFound = HostCanBeFound(host);
  chat.linkedUp = false;
  status = qv_create(&chat.client, nameId, host.c_str());
  if (status != QV_OK) return ShowFailure(status);
  if (!hostFound) return ShowStatus(texts::kHostNotFoundBefore + host + texts::kHostNotFoundAfter);
  if (!chat.linkedUp) return ShowStatus(texts::kNoLinkUp);

  chat.partner = RememberedPartner{host, nameId};
  RememberPartner(chat.partner);
  status = qv_login(&chat.client);
  if (status != QV_OK) return ShowFailure(status);
  chat.paired = true;
  ShowStatus(texts::kPairedBefore + PartnerDescription() + texts::kPairedAfter);
}

void Send() {
  const std::string text = ControlText(kInputEdit);
  if (text.empty()) return;
  if (!chat.paired) return ShowStatus(texts::kNotConnected);
  // The partner's relay takes a login only once the partner has linked
  // too, and nobody learns whether it did; so each text follows a login of
  // its own (a repeated one is only answered "already logged in"), and the
  // side that connected first is not left unheard.
  qv_status status = qv_login(&chat.client);
  if (status == QV_OK) status = qv_send_text(&chat.client, text.data(), text.size());
  if (status != QV_OK) return ShowFailure(status);
  AppendToConversation(ConversationLine((TimeStamp() + texts::kOwnLine).c_str(), text.data(), text.size()));
  SetWindowTextA(Control(kInputEdit), "");
}

HWND AddControl(HWND parent, const char* className, const char* text, DWORD style, int id) {
  HWND control = CreateWindowExA(className == std::string("EDIT") ? WS_EX_CLIENTEDGE : 0, className, text,
                                 WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return control;
}

constexpr int kHostLabel = 110;
constexpr int kNameLabel = 111;

void CreateControls(HWND window) {
  AddControl(window, "STATIC", texts::kHostLabel, 0, kHostLabel);
  AddControl(window, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kHostEdit);
  AddControl(window, "STATIC", texts::kNameLabel, 0, kNameLabel);
  AddControl(window, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kNameEdit);
  AddControl(window, "BUTTON", texts::kConnect, WS_TABSTOP | BS_PUSHBUTTON, kConnectButton);
  HWND conversation = AddControl(window, "EDIT", "",
                                 WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kConversation);
  SendMessageA(conversation, EM_SETLIMITTEXT, 0, 0);
  HWND input = AddControl(window, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kInputEdit);
  SendMessageA(input, EM_SETLIMITTEXT, QV_LONGEST_TEXT, 0);
  AddControl(window, "BUTTON", texts::kSend, WS_TABSTOP | BS_DEFPUSHBUTTON, kSendButton);
  AddControl(window, "STATIC", texts::kReady, SS_LEFTNOWORDWRAP, kStatusText);
  if (const auto partner = LoadRememberedPartner()) {
    SetWindowTextA(GetDlgItem(window, kHostEdit), partner->host.c_str());
    SetWindowTextA(GetDlgItem(window, kNameEdit), std::to_string(partner->nameId).c_str());
  }
}

void Place(int id, int x, int y, int width, int height) {
  MoveWindow(Control(id), x, y, width > 1 ? width : 1, height > 1 ? height : 1, TRUE);
}

// Top row: partner host, name number, Connect; then the conversation; then
// the input line with Send; the status line at the bottom.
void LayOut(int width, int height) {
  constexpr int kMargin = 8, kRow = 24, kButton = 90, kLabel = 130, kName = 90;
  const int inner = width - 2 * kMargin;
  Place(kHostLabel, kMargin, kMargin + 4, kLabel, kRow - 4);
  Place(kHostEdit, kMargin + kLabel, kMargin, inner - kLabel - kName - kButton - 100 - 2 * kMargin, kRow);
  const int nameLabelX = width - kMargin - kButton - kMargin - kName - 100;
  Place(kNameLabel, nameLabelX, kMargin + 4, 100, kRow - 4);
  Place(kNameEdit, nameLabelX + 100, kMargin, kName, kRow);
  Place(kConnectButton, width - kMargin - kButton, kMargin, kButton, kRow);
  const int statusY = height - kMargin - kRow + 4;
  const int inputY = statusY - kMargin - kRow;
  const int conversationY = kMargin + kRow + kMargin;
  Place(kConversation, kMargin, conversationY, inner, inputY - kMargin - conversationY);
  Place(kInputEdit, kMargin, inputY, inner - kButton - kMargin, kRow);
  Place(kSendButton, width - kMargin - kButton, inputY, kButton, kRow);
  Place(kStatusText, kMargin, statusY, inner, kRow - 4);
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
      CreateControls(window);
      return 0;
    case WM_SIZE:
      LayOut(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED || LOWORD(wParam) == IDOK) {
        // Enter in the input line arrives as IDOK.
        if (LOWORD(wParam) == kConnectButton) Connect();
        if (LOWORD(wParam) == kSendButton || LOWORD(wParam) == IDOK) Send();
        return 0;
      }
      break;
    case WM_DESTROY:
      qv_client_close(&chat.client);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND CreateChatWindow(HINSTANCE instance, int show) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ChatProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kChatWindowClass;
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  HWND window = CreateWindowExA(0, kChatWindowClass, texts::kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 420, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, show);
  UpdateWindow(window);
  return window;
}

}  // namespace chat
