package scanned;

import org.junit.jupiter.api.Test;

/** Found by the JUnit console launcher when it scans the package. */
public class FirstTest {
    @Test
    void passes() {
    }
}
