// What the service a reader is bound to means for the exchanger. No Windows
// header: tested natively.
#ifndef SERVICENAME_H
#define SERVICENAME_H

// Bytes offered to the service query: up to 19 characters and the NUL.
#define ServiceNameSize 20

enum BoundService {
    ServiceOther,          // left alone
    ServiceGenericStorage, // "USBSTOR": the reader's own driver must replace it
    ServiceReaderDriver    // "FLASHREADER": the reader's own driver, maybe outdated
};

// Names compare without regard to ASCII letter case and must match whole.
// The name is never read past bufferSize bytes.
BoundService ClassifyService(const char *service, unsigned bufferSize);

#endif
