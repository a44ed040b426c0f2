#pragma once
// The tables of usage.sqlite and the steps that bring an older file to the current layout.

#include <sqlite3.h>

#include <span>

// Each step takes the file from user_version (its index) to the next; a file of version 0 is new
// or empty. Append steps, never change one that has shipped.
std::span<const char* const> usageMigrations();
int currentUsageSchemaVersion();

// Runs the steps the file lacks, each with its user_version in one transaction. SQLITE_OK,
// SQLITE_TOOBIG (no better code exists) when the file is of a later version than this program
// knows, or the failing code.
int migrateUsageSchema(sqlite3* db);
