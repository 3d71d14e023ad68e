# System settings page sources: list(APPEND K27_MAINWIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/...)
