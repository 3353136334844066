#pragma once
// Which program the controller serves. Consulted in a few places only: the handler table, the
// configuration layout, the filter row and the enabling rules.

enum class MuxVariant {
    Legacy,  // muxconsole-legacy: earlier device generation
    Current, // muxconsole: third generation, model 42 and other devices
};
