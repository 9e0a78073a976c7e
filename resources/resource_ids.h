// Identifiers of the program's own resources (glyphs, cursors); shared by the resource
// script and the code that loads them.
#pragma once

#define IDB_OPEN_FOLDER 200
#define IDB_RUN_CHECK 201
#define IDB_CLOSE_CROSS 202
#define IDC_SQL_WAIT 300
