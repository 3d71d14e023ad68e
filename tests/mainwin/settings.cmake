# Settings page tests
k27_add_test(settings_page_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsPageTest.cpp LIBS k27_mainwin)
