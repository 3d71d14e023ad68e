# Backup tests
