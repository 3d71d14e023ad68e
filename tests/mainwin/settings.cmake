# Settings page tests
