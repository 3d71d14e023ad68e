# Main window shell: the window, its panels, grid set-up and language application.
list(APPEND K27_MAINWIN_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Frmmain.h ${CMAKE_CURRENT_LIST_DIR}/Frmmain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FormControls.h
    ${CMAKE_CURRENT_LIST_DIR}/ApplyMainLanguage.h ${CMAKE_CURRENT_LIST_DIR}/ApplyMainLanguage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SetupGridColumns.h ${CMAKE_CURRENT_LIST_DIR}/SetupGridColumns.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DuplicatePrompt.h ${CMAKE_CURRENT_LIST_DIR}/DuplicatePrompt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgressPanel.h ${CMAKE_CURRENT_LIST_DIR}/ProgressPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PageProgress.h ${CMAKE_CURRENT_LIST_DIR}/PageProgress.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportWiring.h ${CMAKE_CURRENT_LIST_DIR}/ImportWiring.cpp
)
list(APPEND K27_MAINWIN_LIBS k27_cardholders k27_terminals k27_issuing k27_records k27_ribbon)
