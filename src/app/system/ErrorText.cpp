#include "app/system/ErrorText.h"

std::string errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& thrown) {
        return thrown.what();
    } catch (...) {
        return "An unexpected error occurred.";
    }
}
