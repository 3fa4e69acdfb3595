list(APPEND PG_CORE_SOURCES src/tool/ToolJob.cpp)
list(APPEND PG_WIN32_SOURCES src/tool/OutputDialog.cpp src/tool/MainDialogGo.cpp)
