// The driver exchange: puts every present reader of ReaderIdTable back on
// the reader's own driver when Windows has bound the generic mass-storage
// service to it, or when its installed driver file is not the reference one.
#ifndef EXCHANGE_H
#define EXCHANGE_H

// One scan over the present USB devices, with the Windows folder and the
// reference time of morvexstate.h; scan numbers its trace lines and cause
// says what started it. Returns the number of installations it requested
// (nonzero when any).
int ExchangeDrivers(unsigned long scan, const char *cause);

#endif
