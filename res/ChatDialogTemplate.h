#pragma once

#include "DialogTemplate.h"

namespace vessaro::res {

// Control IDs of the conversation window (dialog 129) and its menu (135).
inline constexpr int IDD_CHAT = 129;
inline constexpr int IDR_CHAT_MENU = 135;
inline constexpr int IDC_CHAT_ACCEPT = 1000;
inline constexpr int IDC_CHAT_HANGUP = 1020;
inline constexpr int IDC_CHAT_SEND = 1; // the default button
inline constexpr int IDC_CHAT_CLOSE = 1019;
inline constexpr int IDC_CHAT_INPUT = 1021;
inline constexpr int IDC_CHAT_LOGO = 1034;
inline constexpr int IDC_CHAT_VIEW_PROFILE = 1039;
inline constexpr int IDC_CHAT_SEND_PICTURE = 1040;
inline constexpr int IDC_CHAT_TRANSCRIPT = 1041;
inline constexpr int IDC_CHAT_PEER_PROFILE = 1026;
inline constexpr int IDC_CHAT_MY_PROFILE = 1027;
inline constexpr int ID_CHAT_SAVE = 32771;

const DialogTemplate& ChatDialogTemplate();
const MenuTemplate& ChatMenuTemplate();

} // namespace vessaro::res
