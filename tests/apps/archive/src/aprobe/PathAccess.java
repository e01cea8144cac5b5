package aprobe;

import com.tarvolin.xoq.HolvaneClassLoader;
import java.net.URL;

/** Reaches the launcher loader's reading of "xoq.class.path". */
class PathAccess extends HolvaneClassLoader {
    PathAccess() {
        super();
    }

    static URL[] parse(String value) {
        String previous = System.getProperty("xoq.class.path", "");
        System.setProperty("xoq.class.path", value);
        try {
            return getXoqClassPath();
        } finally {
            System.setProperty("xoq.class.path", previous);
        }
    }
}
