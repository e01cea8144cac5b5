package util;

/** Many small classes, for loading from several threads at once. */
public final class Many {
    private Many() {
    }

    public static final class C0 { }
    public static final class C1 { }
    public static final class C2 { }
    public static final class C3 { }
    public static final class C4 { }
    public static final class C5 { }
    public static final class C6 { }
    public static final class C7 { }
    public static final class C8 { }
    public static final class C9 { }
    public static final class C10 { }
    public static final class C11 { }
    public static final class C12 { }
    public static final class C13 { }
    public static final class C14 { }
    public static final class C15 { }
    public static final class C16 { }
    public static final class C17 { }
    public static final class C18 { }
    public static final class C19 { }
    public static final class C20 { }
    public static final class C21 { }
    public static final class C22 { }
    public static final class C23 { }
    public static final class C24 { }
    public static final class C25 { }
    public static final class C26 { }
    public static final class C27 { }
    public static final class C28 { }
    public static final class C29 { }
    public static final class C30 { }
    public static final class C31 { }
}
