list(APPEND PG_CORE_SOURCES src/playback/PlayDecision.cpp)
list(APPEND PG_WIN32_SOURCES src/playback/MainDialogPlay.cpp src/playback/MoviePreviewDialog.cpp)
