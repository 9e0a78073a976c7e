// The public interface of the Jet 4 database engine.
#pragma once

#include "jetdb/catalog.h"
#include "jetdb/database.h"
#include "jetdb/error.h"
#include "jetdb/file.h"
#include "jetdb/header.h"
#include "jetdb/pager.h"
#include "jetdb/table.h"
