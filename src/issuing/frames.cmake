# Frame and reply sources: list(APPEND K27_ISSUING_SOURCES ...); list(APPEND K27_ISSUING_LIBS ...)
list(APPEND K27_ISSUING_SOURCES
    CardFrame.h CardFrame.cpp
    TerminalTexts.h
    IssueRequest.h
    CommandBuffer.h CommandBuffer.cpp
    DeviceCommands.h DeviceCommands.cpp
    DeviceReply.h DeviceReply.cpp
    CardPermissions.h CardPermissions.cpp
    ApplyIssuedCard.h ApplyIssuedCard.cpp
)
list(APPEND K27_ISSUING_LIBS k27_startup k27_db)
