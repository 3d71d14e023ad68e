# Operator account sources: list(APPEND K27_SIGNIN_SOURCES ...)
