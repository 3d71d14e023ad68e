# System settings page sources: backup, operators, serial settings and language.
list(APPEND K27_MAINWIN_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/SettingsPage.h
    ${CMAKE_CURRENT_LIST_DIR}/SettingsPage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsPageLayout.cpp
)
