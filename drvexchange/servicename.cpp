#include "servicename.h"
#include "asciitext.h"

static int IsServiceNamed(const char *service, unsigned bufferSize, const char *name)
{
    unsigned length = TextLength(name, ServiceNameSize);
    return TextLength(service, bufferSize) == length && AsciiMatchNoCase(service, name, length);
}

BoundService ClassifyService(const char *service, unsigned bufferSize)
{
    if (IsServiceNamed(service, bufferSize, "USBSTOR"))
        return ServiceGenericStorage;
    if (IsServiceNamed(service, bufferSize, "FLASHREADER"))
        return ServiceReaderDriver;
    return ServiceOther;
}
