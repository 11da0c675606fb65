// The readers the exchanger looks after, and how a device's hardware ID is
// matched against them. No Windows header: tested natively.
#ifndef READERID_H
#define READERID_H

// Bytes offered to the hardware ID query: a list of strings ended by an
// empty one, of which only the first is used.
#define ReaderHardwareIdSize 260

// Vendor and product ID as 4 hexadecimal digits each, as they appear in a
// USB hardware ID.
struct ReaderId {
    const char *VendorId;
    const char *ProductId;
};

// Ends with an entry whose VendorId is null.
extern const ReaderId ReaderIdTable[];

// Nonzero when the first string of a hardware ID list (bufferSize bytes)
// carries the entry's vendor ID at character 8 and its product ID at
// character 17, both without regard to ASCII letter case. A first string
// shorter than 21 characters never matches, whatever lies beyond its end.
// Never reads past bufferSize.
int MatchReaderId(const char *hardwareId, unsigned bufferSize, const ReaderId *entry);

#endif
