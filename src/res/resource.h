// Resource identifiers of Partglance, grouped by resource. Shared by the .rc file and the code.
#pragma once

// Templates and icon
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDI_PROGRAM 128
#define IDD_MOVIE_PREVIEW 129
#define IDD_OUTPUT 132

// String table: German ids; the English text of each is 300 higher.
#define IDS_ABOUT_ITEM 101
#define IDS_DEFAULT_TEMP_DIR 102
#define IDS_INPUT_DIALOG_TITLE 103
#define IDS_TEMP_DIR_DIALOG_TITLE_UNUSED 104
#define IDS_OUTPUT_DIALOG_TITLE 105
#define IDS_CANNOT_PLAY 106
#define IDS_COLUMN_FILE_NAME 107
#define IDS_COLUMN_SIZE 108
#define IDS_COLUMN_PART_FILE 109
#define IDS_COLUMN_PERCENT 110
#define IDS_CLOSE 111
#define IDS_INPUT_LABEL 112
#define IDS_OUTPUT_LABEL 113
#define IDS_START_FRAME_LABEL 114
#define IDS_FRAME_COUNT_LABEL 115
#define IDS_IF_KNOWN_LABEL 116
#define IDS_WIDTH_LABEL 117
#define IDS_HEIGHT_LABEL 118
#define IDS_GO 119
#define IDS_OUTPUT_TITLE 120
#define IDS_OUTPUT_CANCEL 121
#define IDS_OUTPUT_CLOSE_AND_PLAY 122
#define IDS_OUTPUT_WAITING 123
#define IDS_OUTPUT_END_TEXT 124
#define IDS_INPUT_FILTER 125
#define IDS_OUTPUT_FILTER 126
#define IDS_TEMP_DIR_BROWSE_TITLE 127

// Main window (template 102)
#define IDB_BROWSE_INPUT 1000
#define IDE_INPUT 1001
#define IDB_BROWSE_OUTPUT 1002
#define IDE_OUTPUT 1003
#define IDB_GO 1004
#define IDE_START_FRAME 1005
#define IDE_WIDTH 1006
#define IDE_HEIGHT 1007
#define IDL_DOWNLOADS 1008
#define IDB_REFRESH 1009
#define IDE_TEMP_DIR 1010
#define IDB_BROWSE_TEMP_DIR 1011
#define IDB_PLAY_INPUT 1012
#define IDE_FRAME_COUNT 1013
#define IDB_PLAY_OUTPUT 1014
#define IDE_MEDIA_NAME 1016
#define IDB_CLOSE 1017
#define IDT_INPUT 1020
#define IDT_OUTPUT 1021
#define IDT_START_FRAME 1022
#define IDT_FRAME_COUNT 1023
#define IDT_IF_KNOWN 1024
#define IDT_WIDTH 1025
#define IDT_HEIGHT 1026
#define IDG_TOOL 1027

// Output window (template 132)
#define IDE_TOOL_OUTPUT 1007

// About box (template 100)
#define IDT_VERSION 1014
#define IDT_MAIL_LINK 1015

// Commands
#define IDM_ABOUT 16
