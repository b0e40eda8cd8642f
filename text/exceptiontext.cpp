#include "exceptiontext.h"

std::string ExceptionText(std::exception_ptr Error)
{
    if (!Error)
        return {};
    try {
        std::rethrow_exception(Error);
    } catch (const ETextError &e) {
        return e.Message();
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}
