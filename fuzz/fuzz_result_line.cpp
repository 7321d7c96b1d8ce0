// The printed result line, through the maintenance backend and its parser.
#include "d_fuzz_environment.h"

#include <be_maintenance_plugin.h>
#include <d_listen_line_parser.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DFuzzEnvironment::ensureApplication();
    static BeMaintenanceDeviceStahlwille backend;
    const QByteArray frame(reinterpret_cast<const char*>(data), int(qMin<size_t>(size, 1 << 16)));
    const QVariantMap fields = DListenLineParser::parse(frame);
    DFuzzEnvironment::check(fields == backend.convertFrameToMap(frame),
                            "backend and parser disagree");
    DFuzzEnvironment::check(fields.isEmpty() || fields.size() == 5, "a partial set of fields");
    for (const QVariant& field : fields) {
        DFuzzEnvironment::check(!field.toString().isEmpty(), "an empty field");
    }
    return 0;
}
