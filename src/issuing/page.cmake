# Issuing page sources: the page, its behaviour and the device's replies.
list(APPEND K27_ISSUING_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/IssuingPage.h ${CMAKE_CURRENT_LIST_DIR}/IssuingPage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IssuingController.h ${CMAKE_CURRENT_LIST_DIR}/IssuingController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeviceReplyHandler.h ${CMAKE_CURRENT_LIST_DIR}/DeviceReplyHandler.cpp
)
list(APPEND K27_ISSUING_LIBS k27_startup k27_cardholders)
