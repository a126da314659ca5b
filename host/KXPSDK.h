// The server SDK of the host.
#ifndef HOST_KXPSDK_H
#define HOST_KXPSDK_H

namespace KXP {

class KXPSDK {
public:
    // 0 when ready; init twice without deinit fails with the error text set.
    int init();
    void deinit();

private:
    bool m_ready = false;
};

// The host's one SDK object.
extern KXPSDK SDK;

} // namespace KXP

#endif
