# Backup and restore sources: list(APPEND K27_DB_SOURCES ...)
