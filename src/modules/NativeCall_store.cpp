#include "modules/NativeCall_store.h"

// Every store call answers void and does nothing; the class is complete in its header.
