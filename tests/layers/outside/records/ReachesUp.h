// Points up: the record library may not know the database object.
#include <qel/database/DatabaseObj.h>
