// Resource IDs of Lorvanta.exe, shared by the resource script and the code.
// The menu's command IDs are written as numbers in the script; app/window.h
// gives them names.
#pragma once

#define IDD_MAIN 101
#define IDI_MAIN 102
#define IDR_MAIN_MENU 103
