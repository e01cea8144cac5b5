package probe;

import com.tarvolin.xoq.EventLog;
import com.tarvolin.xoq.HolvaneClassLoader;
import com.tarvolin.xoq.Instances;
import com.tarvolin.xoq.SplashScreen;
import java.io.PrintStream;
import java.net.URL;

/** Calls a native of each support class; a native that is not bound throws. */
final class Natives {
    private Natives() {
    }

    static void report(PrintStream out) {
        Instances.getCurrentInstance();
        out.println("natives.instances=called");
        out.println("natives.splash=" + (SplashScreen.getSplashScreen() == null ? "none" : "shown"));
        URL own = Natives.class.getResource("Natives.class");
        try {
            out.println("natives.entryTime=" + (own.openConnection().getLastModified() > 0));
        } catch (java.io.IOException e) {
            out.println("natives.entryTime=" + e);
        }
        // The support classes, whichever mode, are the JDK's application
        // class loader's.
        out.println("natives.loaderDefinedBy="
                + HolvaneClassLoader.class.getClassLoader().getClass().getName());
        new EventLog("probe");
        out.println("natives.eventLog=made");
        out.flush();
    }
}
