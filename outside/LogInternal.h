// Start-up of the log for the general library's initialisation: resolves the
// file and makes the log the platform layer's diagnostic sink.
#pragma once

namespace qel::outside {

void InitialiseLog();

}  // namespace qel::outside
