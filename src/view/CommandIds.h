#pragma once

// Every command identifier of the program. The program's own commands keep the numbers of the
// resource script; the framework's standard file, edit, view and help commands keep the
// framework's numbers, so a command has one number in menus, toolbar, keys and handlers.
// Status bar panes are addressed by the indicator ids below.

// Editing of the cue list.
inline constexpr int ID_EDIT_ADDCUE = 32771;   // "&Add Cue\tA"
inline constexpr int ID_EDIT_EDITCUE = 32788;  // Edit cue (double click, toolbar)

// Show control.
inline constexpr int ID_AUDIO_GO = 32772;
inline constexpr int ID_AUDIO_FADEIN = 32773;
inline constexpr int ID_AUDIO_FADEOUT = 32774;
inline constexpr int ID_AUDIO_KILL = 32775;
inline constexpr int ID_AUDIO_SPEEDUP = 32776;
inline constexpr int ID_AUDIO_SLOWDOWN = 32777;
inline constexpr int ID_AUDIO_NORMALSPEED = 32778;
inline constexpr int ID_AUDIO_STOPALL = 32779;
inline constexpr int ID_AUDIO_VOLUP = 32780;
inline constexpr int ID_AUDIO_VOLDOWN = 32781;

// View menu: show or hide the play position bar.
inline constexpr int ID_VIEW_PLAYPOSITION = 32800;

// Commands added since: each has one number, so menus, keys, the toolbar and remote control
// reach the same handler.
inline constexpr int ID_EDIT_PREFERENCES = 32820;   // "Pre&ferences...\tCtrl+,"
inline constexpr int ID_FILE_CHECKSHOW = 32830;     // "Chec&k Show..."
inline constexpr int ID_FILE_COLLECT = 32831;       // "Co&llect Show Folder..."
inline constexpr int ID_AUDIO_FADEALL = 32840;      // "Fade All\tShift+ESC"
inline constexpr int ID_VIEW_SHOWPANEL = 32850;     // "Show &Panel"
inline constexpr int ID_VIEW_DARKTHEME = 32851;     // "&Dark Theme"
inline constexpr int ID_VIEW_FONT_LARGER = 32852;   // Ctrl+plus: larger list font
inline constexpr int ID_VIEW_FONT_SMALLER = 32853;  // Ctrl+minus: smaller list font
inline constexpr int ID_HELP_SHOWLOG = 32860;       // "Show &Log"

// Status bar panes.
inline constexpr int ID_INDICATOR_TTG = 33000;   // "TTG:%02d.%02d"
inline constexpr int ID_INDICATOR_CUES = 33001;  // "Cues:%03d"

// Framework file commands.
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_CLOSE = 57602;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_PAGE_SETUP = 57605;
inline constexpr int ID_FILE_PRINT_SETUP = 57606;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_FILE_PRINT_DIRECT = 57608;
inline constexpr int ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;  // "Recent File": four entries, 57616..57619
inline constexpr int ID_FILE_MRU_FILE2 = 57617;
inline constexpr int ID_FILE_MRU_FILE3 = 57618;
inline constexpr int ID_FILE_MRU_FILE4 = 57619;
inline constexpr int kRecentFileCount = 4;

// Framework edit commands.
inline constexpr int ID_EDIT_CLEAR = 57632;  // "&Delete\tDEL"
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_EDIT_REDO = 57644;

// Application and help commands.
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP_FINDER = 57667;
inline constexpr int ID_CONTEXT_HELP = 57669;  // Shift+F1: nothing handles it
inline constexpr int ID_HELP = 57670;
inline constexpr int ID_DEFAULT_HELP = 57671;

// Framework view commands.
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;

// Strings of the framework's string table that the program shows.
inline constexpr int AFX_IDS_APP_TITLE = 57344;    // "MARVANE"
inline constexpr int AFX_IDS_IDLEMESSAGE = 57345;  // "For Help, press F1"
