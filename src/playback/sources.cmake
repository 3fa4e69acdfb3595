list(APPEND PG_CORE_SOURCES src/playback/PlayDecision.cpp)
